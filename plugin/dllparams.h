// The host parameter record: 28 length-prefixed 256-byte slots in the host's exact layout,
// and the library's copy `DllParams` that every Part reads. Field reads give the GBK bytes;
// text() decodes them for display. Writes cut at 255 bytes.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One short-string slot: a length byte and up to 255 bytes of GBK text.
struct TShortString {
    std::uint8_t length;
    char data[255];

    std::string bytes() const { return std::string(data, length); }
    QString text() const;
    // Stores at most 255 bytes; longer input is cut (never half a GBK character).
    void assign(std::string_view bytes);
    void assign(const QString& s);
};
static_assert(sizeof(TShortString) == 256);

struct TDllParams {
    TShortString UserId;           // 0x0000
    TShortString Reserved01;       // 0x0100 host's own
    TShortString UserDept;         // 0x0200
    TShortString Reserved03;       // 0x0300
    TShortString ServerName;       // 0x0400
    TShortString DbUserName;       // 0x0500
    TShortString DbPassword;       // 0x0600
    TShortString BusinessDbName;   // 0x0700
    TShortString Reserved08;       // 0x0800
    TShortString PubdictDbName;    // 0x0900
    TShortString Reserved0A;       // 0x0A00
    TShortString MiskernelDbName;  // 0x0B00
    TShortString Reserved0C;       // 0x0C00
    TShortString Reserved0D;       // 0x0D00
    TShortString Reserved0E;       // 0x0E00
    TShortString Rights;           // 0x0F00
    TShortString ModuleRights;     // 0x1000 takes precedence over Rights when not blank
    TShortString ViewKind;         // 0x1100 "C", "D" or "S"
    TShortString ViewId;           // 0x1200
    TShortString OperationType;    // 0x1300 "R" is the read operation
    TShortString ViewDept;         // 0x1400 department of the chosen salesperson (kind S)
    TShortString StationName;      // 0x1500 only the first 13 bytes are used
    TShortString Reserved16;       // 0x1600 .. 0x1B00 host's own
    TShortString Reserved17;
    TShortString Reserved18;
    TShortString Reserved19;
    TShortString Reserved1A;
    TShortString Reserved1B;
};

static_assert(sizeof(TDllParams) == 7168);
static_assert(offsetof(TDllParams, UserId) == 0x0000);
static_assert(offsetof(TDllParams, UserDept) == 0x0200);
static_assert(offsetof(TDllParams, ServerName) == 0x0400);
static_assert(offsetof(TDllParams, DbUserName) == 0x0500);
static_assert(offsetof(TDllParams, DbPassword) == 0x0600);
static_assert(offsetof(TDllParams, BusinessDbName) == 0x0700);
static_assert(offsetof(TDllParams, PubdictDbName) == 0x0900);
static_assert(offsetof(TDllParams, MiskernelDbName) == 0x0B00);
static_assert(offsetof(TDllParams, Rights) == 0x0F00);
static_assert(offsetof(TDllParams, ModuleRights) == 0x1000);
static_assert(offsetof(TDllParams, ViewKind) == 0x1100);
static_assert(offsetof(TDllParams, ViewId) == 0x1200);
static_assert(offsetof(TDllParams, OperationType) == 0x1300);
static_assert(offsetof(TDllParams, ViewDept) == 0x1400);
static_assert(offsetof(TDllParams, StationName) == 0x1500);

// The library's copy; all zeros until the first dllmain.
extern TDllParams DllParams;

// Copies the host's 7168 bytes into DllParams and makes the entry adjustments in order:
// a non-blank ModuleRights replaces Rights (untrimmed), the login becomes "sa" with an
// empty password.
void TakeHostParams(const void* hostRecord);
void ApplyEntryAdjustments(TDllParams& params);

// 1 while the main window is up; answered by dllonscreen.
extern std::uint8_t OnScreenFlag;
