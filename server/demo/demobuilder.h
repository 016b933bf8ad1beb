// Builds a demo server folder: the kernel, public-dictionary and business databases with
// every object the library calls, filled with a seeded, reproducible demo company.
#pragma once

#include <cstdint>
#include <string>

namespace demo {

struct DemoOptions {
    int shipments = 3000;
    std::uint64_t seed = 1;
    // "YYYY-MM-DD HH:MM:SS": written to server.ini as the server clock and taken as today.
    // Empty: the real local time, and no server.ini.
    std::string clock;
};

class DemoBuilder {
public:
    static constexpr const char* kBusinessDb = "Calvesteri";
    static constexpr const char* kKernelDb = "Miskernel";
    static constexpr const char* kPubdictDb = "Pubdict";
    static constexpr int kFirstFinancialYear = 2003;  // the kernel era's last year

    explicit DemoBuilder(DemoOptions options) : m_options(std::move(options)) {}

    // Creates `dir` (missing or empty; a non-empty folder is refused, never overwritten)
    // and everything in it. Throws server::Error.
    void build(const std::string& dir) const;

private:
    DemoOptions m_options;
};

}  // namespace demo
