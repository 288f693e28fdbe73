// Loaded in front of libjack in a program under test (LD_PRELOAD): every call that waits on the
// JACK server is counted, and the one numbered KITFORGE_JACK_STALL_AT never returns, as when
// the server stops at that very moment. KITFORGE_JACK_CALLS names a file that gets a line per
// call: its number, the call, the client, and for the one held "stalled" and the monotonic
// time it was held at.
#include <dlfcn.h>
#include <jack/jack.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::atomic<int> calls{0};

int stallAt() {
    static const int n = [] {
        const char* at = std::getenv("KITFORGE_JACK_STALL_AT");
        return at ? std::atoi(at) : 0;
    }();
    return n;
}

void log(int n, const char* call, const std::string& client, bool stalled) {
    const char* file = std::getenv("KITFORGE_JACK_CALLS");
    if (!file) return;
    FILE* f = std::fopen(file, "a");
    if (!f) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (stalled) std::fprintf(f, "%d %s %s stalled %lld.%09ld\n", n, call, client.c_str(), (long long)now.tv_sec, now.tv_nsec);
    else std::fprintf(f, "%d %s %s\n", n, call, client.c_str());
    std::fclose(f);
}

template <class F>
F* real(const char* name) {
    return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}

std::string nameOf(jack_client_t* client) {
    using F = char*(jack_client_t*);
    static F* const name = real<F>("jack_get_client_name");
    return client && name ? name(client) : "";
}

// Counts the call and holds it for good when its turn has come.
void counted(const char* call, const std::string& client) {
    const int n = ++calls;
    const bool stall = n == stallAt();
    log(n, call, client, stall);
    if (stall)
        for (;;) ::pause();
}

}  // namespace

extern "C" {

jack_client_t* jack_client_open(const char* name, jack_options_t options, jack_status_t* status, ...) {
    counted("jack_client_open", name);
    using F = jack_client_t*(const char*, jack_options_t, jack_status_t*, ...);
    return real<F>("jack_client_open")(name, options, status);
}

int jack_client_close(jack_client_t* client) {
    counted("jack_client_close", nameOf(client));
    return real<int(jack_client_t*)>("jack_client_close")(client);
}

int jack_activate(jack_client_t* client) {
    counted("jack_activate", nameOf(client));
    return real<int(jack_client_t*)>("jack_activate")(client);
}

int jack_deactivate(jack_client_t* client) {
    counted("jack_deactivate", nameOf(client));
    return real<int(jack_client_t*)>("jack_deactivate")(client);
}

jack_port_t* jack_port_register(jack_client_t* client, const char* name, const char* type, unsigned long flags,
                                unsigned long size) {
    counted("jack_port_register", nameOf(client));
    using F = jack_port_t*(jack_client_t*, const char*, const char*, unsigned long, unsigned long);
    return real<F>("jack_port_register")(client, name, type, flags, size);
}

int jack_port_unregister(jack_client_t* client, jack_port_t* port) {
    counted("jack_port_unregister", nameOf(client));
    return real<int(jack_client_t*, jack_port_t*)>("jack_port_unregister")(client, port);
}

int jack_connect(jack_client_t* client, const char* from, const char* to) {
    counted("jack_connect", nameOf(client));
    return real<int(jack_client_t*, const char*, const char*)>("jack_connect")(client, from, to);
}

int jack_disconnect(jack_client_t* client, const char* from, const char* to) {
    counted("jack_disconnect", nameOf(client));
    return real<int(jack_client_t*, const char*, const char*)>("jack_disconnect")(client, from, to);
}

const char** jack_get_ports(jack_client_t* client, const char* name, const char* type, unsigned long flags) {
    counted("jack_get_ports", nameOf(client));
    using F = const char**(jack_client_t*, const char*, const char*, unsigned long);
    return real<F>("jack_get_ports")(client, name, type, flags);
}

}  // extern "C"
