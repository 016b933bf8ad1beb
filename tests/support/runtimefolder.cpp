// Linked into every test program and benchmark: without XDG_RUNTIME_DIR (a root shell, su,
// CI) Qt makes /tmp/runtime-<user> and leaves it behind, so the program makes a private
// runtime folder of its own (mode 0700, as Qt insists) before main() and removes it at exit.
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

class RuntimeFolder {
public:
    RuntimeFolder() {
        const char* set = std::getenv("XDG_RUNTIME_DIR");
        if (set != nullptr && *set != '\0')
            return;
        const char* tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                           "/exportpnl-runtime-XXXXXX";
        if (mkdtemp(path.data()) == nullptr)
            return;  // Qt then falls back to its own folder, as before
        m_path = path;
        m_owner = getpid();
        setenv("XDG_RUNTIME_DIR", m_path.c_str(), 1);
    }
    ~RuntimeFolder() {
        // A forked child that exits normally must not take its parent's folder away.
        if (m_path.empty() || getpid() != m_owner)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

private:
    std::string m_path;
    pid_t m_owner = 0;
};

const RuntimeFolder g_runtimeFolder;

}  // namespace
