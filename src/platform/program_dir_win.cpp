#include "platform/program_dir.h"

#include <windows.h>

#include "platform/utf16.h"

namespace kf {

std::string programDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return fromUtf16(path.substr(0, path.find_last_of(L"\\/")));
}

}  // namespace kf
