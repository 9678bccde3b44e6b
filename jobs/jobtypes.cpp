#include "jobs/jobtypes.h"

namespace mv {

std::string JobTypeName(int32_t code) {
  switch (code) {
    case JOB_COPY: return "COPY";
    case JOB_ANALYZE: return "ANALYZE";
    case JOB_NETWARE_PURGE: return "NETWARE PURGE";
    case JOB_DELETE: return "DELETE";
    default: return "<unknown>";
  }
}

bool IsSourceOnlyType(int32_t code) {
  return code == JOB_ANALYZE || code == JOB_NETWARE_PURGE || code == JOB_DELETE;
}

}  // namespace mv
