/// \file
/// The program's icons, drawn rather than loaded: the application icon and
/// the toolbar's pictures for the commands the platform's style has none
/// for, so the editor looks whole on any desktop without an icon theme.
#pragma once

#include "app/CommandIds.h"

#include <QIcon>

namespace quillon {

QIcon ApplicationIcon();
/// The toolbar picture of `id`; null when the command has none.
QIcon CommandIcon(CommandId id);

}  // namespace quillon
