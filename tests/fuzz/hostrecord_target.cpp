// A host parameter record of any bytes: the entry adjustments, every field as bytes and as
// text, the GBK-safe prefixes the windows cut, and the rights check on it.
#include "fuzztargets.h"

#include "framework/text/text.h"
#include "plugin/dllparams.h"
#include "ui/checkviewright.h"

#include <algorithm>
#include <cstring>

namespace fuzz {

int hostRecord(const std::uint8_t* data, std::size_t size) {
    outcome().clear();
    TDllParams record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, std::min(size, sizeof record));
    (void)CheckViewRight(record);

    TakeHostParams(&record);
    const auto* fields = reinterpret_cast<const TShortString*>(&DllParams);
    for (std::size_t i = 0; i < sizeof(TDllParams) / sizeof(TShortString); ++i) {
        const std::string bytes = fields[i].bytes();
        (void)fields[i].text();
        (void)text::trimBytes(bytes);
        for (std::size_t n : {1, 2, 4, 13}) (void)text::gbkPrefix(bytes, n);
    }
    (void)CheckViewRight(DllParams);

    TDllParams copy = DllParams;
    ApplyEntryAdjustments(copy);
    copy.ViewKind.assign(DllParams.ViewId.bytes());  // writes cut at 255 bytes
    outcome() = CheckViewRight(copy) ? "granted" : "refused";
    return 0;
}

}  // namespace fuzz
