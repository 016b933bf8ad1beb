// The rights check over the six-character rights codes (scope + level + operation). All
// comparisons are on the record's GBK bytes, exactly as the host wrote them: the rights
// string is searched as plain text, not code by code.
#include "ui/checkviewright.h"

#include "framework/text/text.h"

#include <string>
#include <string_view>

namespace {

// The first n bytes, the whole text when it is shorter.
std::string firstBytes(const TShortString& field, std::size_t n) {
    return field.bytes().substr(0, n);
}

class RightsString {
public:
    explicit RightsString(std::string rights) : m_rights(std::move(rights)) {}
    // Matches may straddle code boundaries: the host's own check searches the same way.
    bool contains(std::string_view code) const { return m_rights.find(code) != std::string::npos; }

private:
    std::string m_rights;
};

// Steps shared by kinds D and S: the department codes, then the user's own department.
// d is compared with UserDept as a whole: a blank after the id makes them differ.
bool grantsDepartment(const RightsString& rights, const std::string& d, bool read,
                      const std::string& userDept) {
    if (rights.contains("**" + d + "DW"))
        return true;
    if (read && rights.contains("**" + d + "DR"))
        return true;
    if (d == userDept && rights.contains("****DW"))
        return true;
    if (d == userDept && read && rights.contains("****DR"))
        return true;
    return false;
}

}  // namespace

bool CheckViewRight(const TDllParams& params) {
    // ModuleRights wins when anything but blanks is left; it is then used with its blanks.
    const std::string moduleRights = params.ModuleRights.bytes();
    const RightsString rights(text::trimBytes(moduleRights).empty() ? params.Rights.bytes()
                                                                    : moduleRights);

    const std::string operation = params.OperationType.bytes();
    const bool read = !operation.empty() && operation.front() == 'R';
    const std::string kindText = params.ViewKind.bytes();
    const char kind = kindText.empty() ? '\0' : kindText.front();

    if (rights.contains("****CW"))
        return true;
    if (read && rights.contains("****CR"))
        return true;

    switch (kind) {
        case 'D':
            return grantsDepartment(rights, firstBytes(params.ViewId, 2), read,
                                    params.UserDept.bytes());
        case 'S': {
            if (grantsDepartment(rights, firstBytes(params.ViewDept, 2), read,
                                 params.UserDept.bytes()))
                return true;
            const std::string u = firstBytes(params.ViewId, 4);
            if (rights.contains(u + "SW"))
                return true;
            if (read && rights.contains(u + "SR"))
                return true;
            const bool self = u == params.UserId.bytes();
            if (self && rights.contains("****SW"))
                return true;
            if (self && read && rights.contains("****SR"))
                return true;
            return false;
        }
        default:  // "C" and any other kind: only the whole-company codes above grant
            return false;
    }
}
