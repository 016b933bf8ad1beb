// The demo company's fixed records. Salespersons' financial group codes are "5" followed by
// their department id and a digit, so a code shows where the group belongs.
#include "server/demo/democatalog.h"

namespace demo {

std::uint64_t Random::next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::int64_t Random::between(std::int64_t lo, std::int64_t hi) {
    const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<std::int64_t>(next() % span);
}

double Random::unit() {
    return static_cast<double>(next() >> 11) / 9007199254740992.0;
}

const std::vector<Department>& DemoCatalog::departments() {
    static const std::vector<Department> all = {
        {"01", "业务一部", "B"}, {"02", "业务二部", "B"}, {"03", "业务三部", "B"},
        {"04", "业务四部", "B"}, {"05", "业务五部", "B"}, {"06", "财务部", "F"},
        {"07", "储运部", "C"},   {"08", "总经理室", "M"},
    };
    return all;
}

const std::vector<Person>& DemoCatalog::people() {
    static const std::vector<Person> all = {
        {"0001", "系统管理员", "A", "08", ""}, {"0002", "周会计", "F", "06", ""},
        {"0003", "吴储运", "C", "07", ""},     {"0011", "李明", "S", "01", "5011"},
        {"0012", "张伟", "S", "01", "5012"},   {"0013", "王芳", "S", "02", "5021"},
        {"0014", "刘洋", "S", "02", "5022"},   {"0015", "陈静", "S", "03", "5031"},
        {"0016", "杨帆", "S", "03", "5032"},   {"0017", "赵磊", "S", "04", "5041"},
        {"0018", "黄丽", "S", "04", "5042"},   {"0019", "孙强", "S", "05", "5051"},
        {"0020", "朱敏", "S", "05", "5052"},
    };
    return all;
}

const std::vector<std::pair<std::string, std::string>>& DemoCatalog::company() {
    static const std::vector<std::pair<std::string, std::string>> row = {
        {"code", "1"},
        {"name_ch", "泰沃进出口有限公司"},
        {"name_en", "TAIWO IMPORT & EXPORT CO., LTD."},
        {"addr_ch", "滨海市港湾路88号外贸大厦12楼"},
        {"addr_en", "12/F Foreign Trade Tower, 88 Harbour Road, Binhai"},
        {"order_bank", "滨海商业银行国际业务部"},
        {"account", "USD 1203-4567-8901-2345\nRMB 1203-4567-8901-0001"},
        {"order_tax", "91330200123456789X"},
        {"zip", "315000"},
        {"present", "王总"},
        {"name_simple", "泰沃进出口"},
        {"custom_code", "3302961234"},
        {"corp_code", "T"},
        {"tel", "0574-88880000"},
        {"is_default", "1"},
        {"order_name", "泰沃进出口有限公司"},
        {"pay_default", "T"},
        {"prefix", "TW"},
    };
    return row;
}

}  // namespace demo
