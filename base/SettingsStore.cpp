/// \file
/// Out-of-line anchor for the settings-store interface, so its vtable is
/// emitted in one translation unit.
#include "base/SettingsStore.h"

namespace quillon {

ISettingsStore::~ISettingsStore() = default;

}  // namespace quillon
