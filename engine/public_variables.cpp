#include "engine/public_variables.h"

namespace qv {

void ClearCacheEntries(PublicVariables& pv) {
    // Their room goes too: a run lets the tables go before it replaces the index.
    std::vector<std::string>().swap(pv.CacheFileNames);
    std::vector<std::string>().swap(pv.RealNames);
}

}  // namespace qv
