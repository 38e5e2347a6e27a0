// The dialogs on screen: their fields reach the dialog's logic, the VR list
// switches the length field, and OK closes only when the logic agrees.
#include "app/qt/AddSequenceDlgWindow.h"
#include "app/qt/DeidentifyDlgWindow.h"
#include "app/qt/DicomElementDlgWindow.h"
#include "app/qt/HexValueEdit.h"

#include "app/AddSequenceDlg.h"
#include "app/DeidentifyDlg.h"
#include "app/DicomElementDlg.h"
#include "support/FakeUserInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace quillon::test {
namespace {

QPushButton* Button(QWidget& window, const QString& text) {
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    if (button->text().remove('&') == text) return button;
  }
  return nullptr;
}

TEST(ElementDialogWindow, TheVrListSwitchesTheLengthFieldAndOkChecksTheFields) {
  CFakeUserInterface ui;
  CDicomElementDlg dialog(true, {false, CCharacterSet(), ""});
  CDicomElementDlgWindow window(dialog, ui, nullptr);
  auto* group = window.findChild<QLineEdit*>("group");
  auto* element = window.findChild<QLineEdit*>("element");
  auto* vr = window.findChild<QComboBox*>("vr");
  auto* length = window.findChild<QLineEdit*>("length");
  ASSERT_TRUE(group && element && vr && length);
  EXPECT_EQ(vr->count(), 35);  // every VR, after "Undef."
  EXPECT_EQ(vr->itemText(0), "Undef.");

  QTest::keyClicks(group, "7fe0");
  QTest::keyClicks(element, "10");
  QTest::mouseClick(Button(window, "Lookup VR"), Qt::LeftButton);
  EXPECT_EQ(vr->currentText(), "OB");
  EXPECT_TRUE(length->isEnabled());
  vr->setCurrentIndex(vr->findText("LO"));
  emit vr->activated(vr->currentIndex());
  EXPECT_FALSE(length->isEnabled());

  // "12345" cannot even be typed: the field holds 4 hexadecimal digits.
  group->clear();
  QTest::keyClicks(group, "12345");
  EXPECT_EQ(group->text(), "1234");
  group->clear();
  window.accept();  // an empty group: refused, the dialog stays open
  EXPECT_NE(window.result(), QDialog::Accepted);
  EXPECT_EQ(ui.messages.size(), 1u);
  QTest::keyClicks(group, "0010");
  QTest::keyClicks(window.findChild<QPlainTextEdit*>("value"), "Some name");
  window.accept();
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Result().tag, 0x00100010u);
}

// Typed hexadecimal sets the length and the lines' offsets; Import and
// Export show for binary VRs only.
TEST(ElementDialogWindow, BinaryValuesAreTypedAsHexadecimal) {
  CFakeUserInterface ui;
  CDicomElementDlg dialog(true, {false, CCharacterSet(), ""});
  CDicomElementDlgWindow window(dialog, ui, nullptr);
  auto* vr = window.findChild<QComboBox*>("vr");
  auto* value = window.findChild<CHexValueEdit*>("value");
  QTest::keyClicks(window.findChild<QLineEdit*>("group"), "0009");
  QTest::keyClicks(window.findChild<QLineEdit*>("element"), "1001");
  for (const char* name : {"LO", "OW"}) {
    emit vr->activated(vr->findText(name));
    EXPECT_EQ(window.findChild<QPushButton*>("import")->isVisibleTo(&window), std::string(name) == "OW");
  }
  QTest::keyClicks(value, "00 01 02 0");
  EXPECT_EQ(window.findChild<QLineEdit*>("length")->text(), "3");  // the odd digit is no byte yet
  QTest::keyClicks(value, "3");
  QTest::keyClick(value, Qt::Key_Return);
  QTest::keyClicks(value, "04 05");
  EXPECT_EQ(value->OffsetOfLine(1), 4);
  window.accept();
  EXPECT_EQ(dialog.Result().bytes, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5})) << ui.TakeMessages();
}

TEST(ElementDialogWindow, EditingKeepsTheTag) {
  CFakeUserInterface ui;
  CDicomElementDlg dialog(false, {false, CCharacterSet(), ""});
  dialog.groupText = "0010";
  dialog.elementText = "0010";
  CDicomElementDlgWindow window(dialog, ui, nullptr);
  EXPECT_TRUE(window.findChild<QLineEdit*>("group")->isReadOnly());
  EXPECT_TRUE(window.findChild<QLineEdit*>("element")->isReadOnly());
}

TEST(SequenceDialogWindow, ANonSequenceTagIsAskedAbout) {
  CFakeUserInterface ui;
  CAddSequenceDlg dialog(false, "");
  CAddSequenceDlgWindow window(dialog, ui);
  QTest::keyClicks(window.findChild<QLineEdit*>("group"), "0010");
  QTest::keyClicks(window.findChild<QLineEdit*>("element"), "0010");
  ui.okCancel.push_back(false);
  window.accept();
  EXPECT_NE(window.result(), QDialog::Accepted);
  ui.okCancel.push_back(true);
  window.accept();
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Tag(), 0x00100010u);
}

TEST(DeidentifyDialogWindow, CheckBoxesSetTheOptionsAndOkChecksTheFolders) {
  CFakeUserInterface ui;
  CDeidentifyDlg dialog(CDeidentifyDlg::Scope::Folder);
  CDeidentifyDlgWindow window(dialog, ui, nullptr);
  auto* uids = window.findChild<QCheckBox*>("retain-uids");
  auto* keepPrivate = window.findChild<QCheckBox*>("keep-private");
  auto* input = window.findChild<QLineEdit*>("inputFolder");
  auto* output = window.findChild<QLineEdit*>("outputFolder");
  ASSERT_TRUE(uids && keepPrivate && input && output);
  EXPECT_EQ(window.findChild<QCheckBox*>("retain-safe-private"), nullptr);  // not offered
  QTest::mouseClick(uids, Qt::LeftButton);
  QTest::mouseClick(keepPrivate, Qt::LeftButton);
  EXPECT_TRUE(dialog.options.Has(ProfileOption::RetainUids));
  EXPECT_TRUE(dialog.options.keepPrivate);
  window.accept();  // no input folder: refused, the dialog stays open
  EXPECT_NE(window.result(), QDialog::Accepted);
  EXPECT_EQ(ui.messages.size(), 1u);
  QTest::keyClicks(input, QDir::tempPath());
  QTest::keyClicks(output, QDir::tempPath() + "/quillon-deidentified");
  window.accept();
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.inputFolder, QDir::tempPath().toStdString());
}

}  // namespace
}  // namespace quillon::test
