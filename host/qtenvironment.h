// What Qt needs from the environment before mis-host creates its application, and the one
// platform message that is noise to a user. Create a QtEnvironment first thing in main()
// and keep it until the application is gone.
#pragma once

#include <QTemporaryDir>
#include <memory>

namespace host {

class QtEnvironment {
public:
    // Without XDG_RUNTIME_DIR (a root shell, su, a container, CI) Qt warns and falls back to
    // /tmp/runtime-USER; a private folder of our own (mode 0700) takes its place for the run.
    // The offscreen platform warns on every window with a size limit that it cannot pass
    // the limits on; that exact message is dropped, every other one goes through.
    QtEnvironment();
    ~QtEnvironment();
    QtEnvironment(const QtEnvironment&) = delete;
    QtEnvironment& operator=(const QtEnvironment&) = delete;

private:
    std::unique_ptr<QTemporaryDir> m_runtimeDir;
};

}  // namespace host
