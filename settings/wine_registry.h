#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/registry_text.h"

namespace qv {

// Reads a registry file of Wine ("WINE REGISTRY Version 2": system.reg, user.reg) as Wine
// writes it: key lines with doubled backslashes and a timestamp, texts with \xHHHH escapes
// (UTF-16 units, surrogate pairs included) and C escapes, "str(N):" texts of other types,
// "hex(N):" bytes that go on over indented continuation lines, and "#" lines of metadata.
// Keys are named under HKEY_LOCAL_MACHINE, or HKEY_CURRENT_USER for a user's file. Texts
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) come out as UTF-8 with their final NUL, whether the
// file spells them quoted or as UTF-16 bytes. One pass over the text.
//
// With `only` given (full key names, any case), just those keys are read, and reading stops
// once each of them has been read. With `under` given too, the keys below each of those are
// read as well (a launcher's key per game), and reading goes on to the end.
RegDocument parseWineRegistryText(std::string_view text, const std::vector<std::string>& only = {},
                                  const std::vector<std::string>& under = {});

}  // namespace qv
