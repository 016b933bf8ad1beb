// What Qt needs from the environment before mis-host creates its application, and the one
// platform message that is noise to a user. main() asks displayMissing() first, then
// creates a QtEnvironment and keeps it until the application is gone.
#pragma once

namespace host {

class QtEnvironment {
public:
    // Without XDG_RUNTIME_DIR (a root shell, su, a container, CI) Qt warns and falls back to
    // /tmp/runtime-USER; a private folder of our own (mode 0700) takes its place for the run.
    // It is removed however the program ends: normally, through exit(), on a fatal Qt
    // message, or on SIGINT, SIGTERM or SIGHUP.
    // The offscreen platform warns on every window with a size limit that it cannot pass
    // the limits on; that exact message is dropped, every other one goes through.
    QtEnvironment();
    ~QtEnvironment();
    QtEnvironment(const QtEnvironment&) = delete;
    QtEnvironment& operator=(const QtEnvironment&) = delete;

    // The platform Qt would choose needs a display server, and the environment names none:
    // the default platform (xcb or wayland) with neither DISPLAY nor WAYLAND_DISPLAY set.
    // Qt itself would abort on it.
    static bool displayMissing();
};

}  // namespace host
