#include "jobs/msgtable.h"

#include <span>

#include "jobs/errmsg.h"

namespace mv {

namespace {

struct TableEntry {
  int32_t code;
  const char* text;
};

constexpr TableEntry kGeneralInfo[] = {
    {MC_DELETE_FILE, "DELETE FILE"}, {MC_MAKE_DIR, "MAKE DIR"},
    {MC_DELETE_DIR, "DELETE DIR"},   {MC_COPY, "  (COPY)"},
    {MC_COPY_DIR, "  (COPY DIR)"},
};

constexpr TableEntry kGeneralError[] = {
    {MC_WRITE_TARGET, "Cannot write target file"},
    {MC_DELETE_TARGET, "Cannot delete target file"},
    {MC_OPEN_SOURCE, "Cannot open source file"},
    {MC_OPEN_TARGET, "Cannot open target file"},
    {MC_CREATE_DIR, "Cannot create directory"},
    {MC_CREATE_DIR_ABORT, "Cannot create directory"},
    {MC_READ_SOURCE, "Error reading source file"},
    {MC_SET_ATTR, "Error SET FILE ATTR"},
    {MC_SET_DATE, "Error SET FILE DATE"},
    {MC_GET_ATTR, "Error GET FILE ATTR"},
    {MC_RENAME_OUTFILE, "Error RENAME OUTFILE"},
    {MC_RENAME_TEMPFILE, "Error RENAME TEMPFILE"},
    {MC_TEMP_EXISTS, "temp file exists "},
    {MC_DELETE_DIR_FAILED, "Cannot delete directory"},
    {MC_READ_SOURCE_CONN, "Error reading source (conn lost?)"},
    {MC_READ_SOURCE_CONN_ABORT, "Error reading source (conn lost?)"},
    {MC_RECURSIVE_COPY, "Recursive copy detected"},
    {MC_CLEAR_ARCHIVE, "Error CLEAR ARCHIVE BIT"},
    {MC_NETWORK_CONNECTION, "Error NETWORK CONNECTION"},
    {MC_NETWORK_SOURCE, "Error NETWORK SOURCE"},
    {MC_DRIVE_NOT_READY, "Error DRIVE NOT READY"},
};

constexpr TableEntry kNetWareError[] = {
    {MC_NW_PURGE, "NW - Purge error"},
    {MC_NW_INVALID_CONNECTION, "NW - Invalid connection"},
    {MC_NW_HANDLE_ALLOCATION, "NW - Handle allocation failed"},
    {MC_NW_UNICODE, "NW - Unicode conversion error"},
    {MC_NW_PARSE_PATH, "NW - Parse path error"},
};

const char* Find(std::span<const TableEntry> table, int32_t code) {
  for (const TableEntry& e : table)
    if (e.code == code) return e.text;
  return nullptr;
}

}  // namespace

const char* GeneralInfoText(int32_t code) { return Find(kGeneralInfo, code); }
const char* GeneralErrorText(int32_t code) { return Find(kGeneralError, code); }
const char* NetWareErrorText(int32_t code) { return Find(kNetWareError, code); }

}  // namespace mv
