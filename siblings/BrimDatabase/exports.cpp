// BrimDatabase.dll: the desktop agent's configuration database, read side.
#include "interface/sibling_abi.h"
#include "siblings/BrimDatabase/config_db.h"

QUARN_EXPORT int QUARN_STDCALL DB_OpenConfigDB_Read(const char* database_path, int) {
    return brim_db::open_read(database_path);
}
QUARN_EXPORT int QUARN_STDCALL DB_ReadConfigDB(const char* record, void* buffer, int size) {
    return brim_db::read_record(record, buffer, size);
}
QUARN_EXPORT int QUARN_STDCALL DB_CloseConfigDB() {
    return brim_db::close();
}

static_assert(sizeof(sibling::DB_OpenConfigDB_ReadFunction{&DB_OpenConfigDB_Read}) > 0);
static_assert(sizeof(sibling::DB_ReadConfigDBFunction{&DB_ReadConfigDB}) > 0);
static_assert(sizeof(sibling::DB_CloseConfigDBFunction{&DB_CloseConfigDB}) > 0);
