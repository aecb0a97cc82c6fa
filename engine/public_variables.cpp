#include "engine/public_variables.h"

namespace qv {

void ClearCacheEntries(PublicVariables& pv) {
    pv.CacheFileNames.clear();
    pv.RealNames.clear();
}

}  // namespace qv
