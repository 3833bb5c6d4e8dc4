// Double of the desktop agent's configuration database: one record, the
// text scripted for "DB_ReadConfigDB" (none unless scripted).
#include <cstring>

#include "interface/sibling_abi.h"
#include "tests/fakes/core/fake_core.h"

QUARN_EXPORT int QUARN_STDCALL DB_OpenConfigDB_Read(const char* database_path, int read_only) {
    fake::record("DB_OpenConfigDB_Read", "%s|%d", fake::text(database_path), read_only);
    return fake::result_or("DB_OpenConfigDB_Read", 1);
}
QUARN_EXPORT int QUARN_STDCALL DB_ReadConfigDB(const char* record, void* buffer, int size) {
    fake::record("DB_ReadConfigDB", "%s|%s|%d", fake::text(record), buffer ? "buffer" : "(null)",
                 size);
    const fake::Answer a = fake::answer("DB_ReadConfigDB");
    if (!a.scripted || !a.has_text) return a.scripted ? a.result : 0;
    const int needed = static_cast<int>(a.text.size()) + 1;
    if (buffer == nullptr) return needed;
    if (size < needed) return 0;
    std::memcpy(buffer, a.text.c_str(), static_cast<std::size_t>(needed));
    return a.result;
}
QUARN_EXPORT int QUARN_STDCALL DB_CloseConfigDB() {
    fake::record("DB_CloseConfigDB", "%s", "");
    return fake::result_or("DB_CloseConfigDB", 1);
}

static_assert(sizeof(sibling::DB_OpenConfigDB_ReadFunction{&DB_OpenConfigDB_Read}) > 0);
static_assert(sizeof(sibling::DB_ReadConfigDBFunction{&DB_ReadConfigDB}) > 0);
static_assert(sizeof(sibling::DB_CloseConfigDBFunction{&DB_CloseConfigDB}) > 0);
