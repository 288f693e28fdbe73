#include <cstdio>
#include <iostream>
#include <new>
#include <streambuf>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "cli/cli.h"
#include "midi/system_midi.h"
#include "platform/program_dir.h"
#include "platform/utf16.h"

namespace {

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return ::GetConsoleMode(h, &mode) != 0;
}

// What the program prints is UTF-8. A console is handed UTF-16, which it shows whatever its
// code page; a pipe or a file gets the UTF-8 bytes as they are, as on Linux.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (!writeWholeCharacters()) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override { return writeWholeCharacters() ? 0 : -1; }

private:
    // Writes what is buffered but a character cut at its end, which waits for its rest.
    bool writeWholeCharacters() {
        const size_t n = static_cast<size_t>(pptr() - pbase());
        size_t whole = n;
        size_t start = n;
        while (start > 0 && n - start < 3 && (static_cast<unsigned char>(buffer_[start - 1]) & 0xC0) == 0x80) --start;
        if (start > 0) {
            const unsigned char lead = static_cast<unsigned char>(buffer_[start - 1]);
            const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (start - 1 + length > n) whole = start - 1;
        }
        const std::wstring text = kf::toUtf16(std::string_view(buffer_, whole));
        for (size_t done = 0; done < text.size();) {
            DWORD written = 0;
            if (!::WriteConsoleW(console_, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                                 nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        std::char_traits<char>::move(buffer_, buffer_ + whole, n - whole);
        setp(buffer_, buffer_ + sizeof buffer_);
        pbump(static_cast<int>(n - whole));
        return true;
    }

    HANDLE console_;
    char buffer_[4096];
};

// The folder of the executable, where the reference tables lie beside it.
int cliMain(int argc, wchar_t** argv) {
    kf::cli::Environment env;
    env.makeBackend = [] { return std::make_unique<kf::SystemBackend>(); };
    env.makeInput = [] { return std::make_unique<kf::SystemInput>(kf::platformInput()); };
    env.tableDirs = {kf::programDirectory(), KITFORGE_DATA_DIR};
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE), err = ::GetStdHandle(STD_ERROR_HANDLE);
    env.progressOnErr = isConsole(err);
    // Line ends stay LF: what a script reads is what it reads on Linux.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ConsoleBuffer outConsole(out), errConsole(err);
    std::ostream outStream(isConsole(out) ? static_cast<std::streambuf*>(&outConsole) : std::cout.rdbuf());
    std::ostream errStream(isConsole(err) ? static_cast<std::streambuf*>(&errConsole) : std::cerr.rdbuf());
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(kf::fromUtf16(argv[i]));
    const int status = kf::cli::run(args, outStream, errStream, env);
    errStream.flush();
    return status;
}

}  // namespace

// The arguments as the system holds them, in UTF-16: a file name in any script arrives whole,
// whatever the ANSI code page.
int wmain(int argc, wchar_t** argv) {
    const int status = kf::cli::runGuarded([&] { return cliMain(argc, argv); });
    // Ends here, without the libraries' detach: Wine's ALSA MIDI driver is unloaded at exit
    // while its notification thread may still be on its way back into it, and the process
    // then dies of that thread's fault with a status of its own. Everything is written and
    // closed by now.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
