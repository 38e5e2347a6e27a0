/// \file
/// The look and rules of a tag field (group or element) in the dialogs:
/// fixed-pitch, four hexadecimal digits at most.
#pragma once

#include <QFontDatabase>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace quillon {

inline void SetUpTagField(QLineEdit* field, const char* name) {
  field->setObjectName(name);
  field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  field->setMaxLength(4);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,4}"), field));
  field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("DDDDDD")));
}

}  // namespace quillon
