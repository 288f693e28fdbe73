#include "app/single_instance.h"

#include <windows.h>

namespace kf::ui {

struct SingleInstance::Held {
    HANDLE mutex = nullptr;
    ~Held() {
        if (mutex) ::CloseHandle(mutex);
    }
};

SingleInstance::SingleInstance() : SingleInstance(QStringLiteral("MutexObjectKFG")) {}

SingleInstance::SingleInstance(const QString& where) : path_(where), held_(std::make_unique<Held>()) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Claim SingleInstance::acquire() {
    if (held_->mutex) return Claim::Acquired;
    // The mutex lives while a copy's handle does, so a crashed copy leaves none behind.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(path_.utf16()));
    const DWORD error = ::GetLastError();
    if (!mutex) return error == ERROR_ACCESS_DENIED ? Claim::HeldByAnother : Claim::Unusable;
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        return Claim::HeldByAnother;
    }
    held_->mutex = mutex;
    return Claim::Acquired;
}

}  // namespace kf::ui
