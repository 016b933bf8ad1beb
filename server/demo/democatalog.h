// The fixed part of the demo company: its settings, departments, staff and financial
// groups, and the seeded random source the generated shipments come from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demo {

struct Department {
    std::string id;  // two characters
    std::string name;
    std::string classid;  // "B" business department, others for the rest of the company
};

struct Person {
    std::string id;  // four-character kernel user id
    std::string name;
    std::string classid;  // "S" salesperson
    std::string dept;
    std::string cwCode;  // group code in the financial system (salespersons only)
};

// Deterministic across compilers and libraries (unlike the std distributions).
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next();
    // Uniform in [lo, hi].
    std::int64_t between(std::int64_t lo, std::int64_t hi);
    double unit();  // [0, 1)

private:
    std::uint64_t m_state;
};

class DemoCatalog {
public:
    static const std::vector<Department>& departments();
    static const std::vector<Person>& people();
    // Column names and values of the one corp_set row, in table order.
    static const std::vector<std::pair<std::string, std::string>>& company();
};

}  // namespace demo
