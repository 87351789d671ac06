#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "app/bitmap_button.h"
#include "app/settings_dialog.h"
#include "app/tri_state_toggle.h"
#include "support/skin_test_support.h"

namespace pelorin::ui::test {
namespace {

TriStateToggle* Toggle(const SettingsDialog& dialog, const char* name) {
  return dialog.findChild<TriStateToggle*>(QLatin1String(name));
}

QLineEdit* Edit(const SettingsDialog& dialog, const char* name) {
  return dialog.findChild<QLineEdit*>(QLatin1String(name));
}

// A press at the centre of a control, as the user would click it.
void Click(QWidget* control) {
  QVERIFY(control != nullptr);
  QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

// "save", "trans", 8 kHz and 4 kHz states as one text, e.g. "1 1 1 0".
QString States(const SettingsDialog& dialog) {
  return QStringLiteral("%1 %2 %3 %4")
      .arg(Toggle(dialog, "save")->GetState())
      .arg(Toggle(dialog, "trans")->GetState())
      .arg(Toggle(dialog, "rate8k")->GetState())
      .arg(Toggle(dialog, "rate4k")->GetState());
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsSitWhereTheSkinExpects_data();
  void controlsSitWhereTheSkinExpects();
  void editsNeverTakeDroppedFiles();
  void ratePresetFollowsTheInput_data();
  void ratePresetFollowsTheInput();
  void toggleClicksGiveTheFlags_data();
  void toggleClicksGiveTheFlags();
  void textsAreReadBackOnOk();
  void textsAreCutAt256Characters();
  void textsAreHeldToTheFieldsBytes_data();
  void textsAreHeldToTheFieldsBytes();
  void clearEmptiesBothTexts();
  void cancelKeepsThePresetAndRecordsTheRectangle();
  void enterConfirmsAndEscapeCancelsAModalRun();
  void powerEndsTheWindowAndItsOwner();
};

void SettingsDialogTest::controlsSitWhereTheSkinExpects_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("geometry");
  QTest::newRow("title") << "title" << QRect(77, 23, 115, 14);
  QTest::newRow("copyright") << "copyright" << QRect(77, 43, 115, 14);
  QTest::newRow("clear") << "clear" << QRect(6, 85, 51, 13);
  QTest::newRow("ok") << "ok" << QRect(68, 85, 51, 13);
  QTest::newRow("cancel") << "cancel" << QRect(130, 85, 51, 13);
  QTest::newRow("power") << "power" << QRect(182, 72, 28, 28);
  QTest::newRow("save") << "save" << QRect(39, 63, 13, 13);
  QTest::newRow("trans") << "trans" << QRect(84, 63, 13, 13);
  QTest::newRow("8 kHz") << "rate8k" << QRect(139, 63, 11, 11);
  QTest::newRow("4 kHz") << "rate4k" << QRect(184, 63, 11, 11);
}

void SettingsDialogTest::controlsSitWhereTheSkinExpects() {
  QFETCH(QString, name);
  QFETCH(QRect, geometry);
  for (const Language language : {Language::kEnglish, Language::kJapanese}) {
    SettingsDialog dialog{Skin(language)};
    QCOMPARE(dialog.size(), QSize(210, 100));
    const QWidget* control = dialog.findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), geometry);
  }
}

void SettingsDialogTest::editsNeverTakeDroppedFiles() {
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.show();
  // Whatever lies under a drop, neither it nor a parent may take the file.
  for (const char* name : {"title", "copyright"}) {
    QLineEdit* edit = Edit(dialog, name);
    QCOMPARE(edit->maxLength(), SettingsDialog::kMaxTextLength);
    for (QWidget* w = dialog.childAt(edit->geometry().center()); w; w = w->parentWidget())
      QVERIFY2(!w->acceptDrops(), name);
  }
}

void SettingsDialogTest::ratePresetFollowsTheInput_data() {
  QTest::addColumn<int>("inputRate");
  QTest::addColumn<QString>("clicks");  // '8' and '4' click the rate toggles
  QTest::addColumn<QString>("states");  // the rate toggles' states, 8 kHz then 4 kHz
  QTest::addColumn<int>("targetRate");
  QTest::newRow("4000 Hz") << 4000 << ""
                           << "2 1" << 4000;
  QTest::newRow("7999 Hz") << 7999 << ""
                           << "2 1" << 4000;
  QTest::newRow("7999 Hz, 8 kHz stays unavailable") << 7999 << "84"
                                                    << "2 1" << 4000;
  QTest::newRow("8000 Hz") << 8000 << ""
                           << "1 0" << 8000;
  QTest::newRow("44100 Hz") << 44100 << ""
                            << "1 0" << 8000;
  QTest::newRow("8000 Hz, 4 kHz chosen") << 8000 << "4"
                                         << "0 1" << 4000;
  QTest::newRow("a chosen rate stays chosen") << 8000 << "44"
                                              << "0 1" << 4000;
  QTest::newRow("and back to 8 kHz") << 8000 << "488"
                                     << "1 0" << 8000;
  QTest::newRow("below 4000 Hz nothing is chosen") << 3999 << ""
                                                   << "0 0" << 8000;
}

void SettingsDialogTest::ratePresetFollowsTheInput() {
  QFETCH(int, inputRate);
  QFETCH(QString, clicks);
  QFETCH(QString, states);
  QFETCH(int, targetRate);
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.SetInputRate(inputRate);
  dialog.show();
  for (const QChar c : clicks) Click(Toggle(dialog, c == u'8' ? "rate8k" : "rate4k"));
  QCOMPARE(QStringLiteral("%1 %2")
               .arg(Toggle(dialog, "rate8k")->GetState())
               .arg(Toggle(dialog, "rate4k")->GetState()),
           states);
  Click(dialog.findChild<BitmapButton*>("ok"));
  QCOMPARE(dialog.result(), SkinnedDialog::kOk);
  QCOMPARE(dialog.TargetRate(), targetRate);
}

void SettingsDialogTest::toggleClicksGiveTheFlags_data() {
  QTest::addColumn<QString>("clicks");  // 's' clicks "save", 't' clicks "trans"
  QTest::addColumn<QString>("states");  // "save" then "trans"
  QTest::addColumn<int>("flags");
  QTest::newRow("both on") << ""
                           << "1 1" << 0;
  QTest::newRow("save off takes trans with it") << "s"
                                                << "0 0" << 3;
  QTest::newRow("trans off alone") << "t"
                                   << "1 0" << 1;
  QTest::newRow("save on again leaves trans off") << "ss"
                                                  << "1 0" << 1;
  QTest::newRow("trans on brings save back") << "st"
                                             << "1 1" << 0;
  QTest::newRow("trans off and on") << "tt"
                                    << "1 1" << 0;
  QTest::newRow("trans off, then save off") << "ts"
                                            << "0 0" << 3;
  QTest::newRow("save off, trans on and off") << "stt"
                                              << "1 0" << 1;
}

void SettingsDialogTest::toggleClicksGiveTheFlags() {
  QFETCH(QString, clicks);
  QFETCH(QString, states);
  QFETCH(int, flags);
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.SetInputRate(8000);
  dialog.show();
  for (const QChar c : clicks) Click(Toggle(dialog, c == u's' ? "save" : "trans"));
  QCOMPARE(States(dialog), states + QStringLiteral(" 1 0"));
  Click(dialog.findChild<BitmapButton*>("ok"));
  QCOMPARE(dialog.result(), SkinnedDialog::kOk);
  QCOMPARE(dialog.Flags(), flags);
}

void SettingsDialogTest::textsAreReadBackOnOk() {
  SettingsDialog dialog{Skin(Language::kJapanese)};
  dialog.SetTitle(QStringLiteral("bell"));
  dialog.show();
  QCOMPARE(Edit(dialog, "title")->text(), QStringLiteral("bell"));
  QTest::keyClicks(Edit(dialog, "title"), QStringLiteral(" two"));
  // Typed as an input method commits it: key clicks only carry Latin-1.
  for (const QChar c : QStringLiteral("著作権"))
    QTest::sendKeyEvent(QTest::Click, Edit(dialog, "copyright"), Qt::Key_unknown, QString(c), {});
  QCOMPARE(dialog.Copyright(), QString());
  Click(dialog.findChild<BitmapButton*>("ok"));
  QCOMPARE(dialog.Title(), QStringLiteral("bell two"));
  QCOMPARE(dialog.Copyright(), QStringLiteral("著作権"));
}

void SettingsDialogTest::textsAreCutAt256Characters() {
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.SetTitle(QString(300, u't'));
  dialog.show();
  QTest::keyClicks(Edit(dialog, "copyright"), QString(300, u'c'));
  dialog.accept();
  QCOMPARE(dialog.Title(), QString(256, u't'));
  QCOMPARE(dialog.Copyright(), QString(256, u'c'));
  // Never between the two halves of a character outside the BMP.
  const QString emoji = QStringLiteral("\U0001F600");
  dialog.SetTitle(QLatin1Char('x') + emoji.repeated(128));
  QCOMPARE(dialog.Title(), QLatin1Char('x') + emoji.repeated(127));
}

void SettingsDialogTest::textsAreHeldToTheFieldsBytes_data() {
  QTest::addColumn<Language>("language");
  QTest::addColumn<QString>("character");
  QTest::addColumn<int>("fits");  // how many of it the file's 256-byte field keeps
  // The Japanese code page for a Japanese user, Western European otherwise.
  QTest::newRow("kanji, 2 bytes") << Language::kJapanese << QStringLiteral("漢") << 128;
  QTest::newRow("ASCII in Japanese") << Language::kJapanese << QStringLiteral("a") << 256;
  QTest::newRow("half-width kana, 1 byte") << Language::kJapanese << QStringLiteral("ｱ") << 256;
  QTest::newRow("é, 1 byte") << Language::kEnglish << QStringLiteral("é") << 256;
  QTest::newRow("kanji as ? in English") << Language::kEnglish << QStringLiteral("漢") << 256;
}

void SettingsDialogTest::textsAreHeldToTheFieldsBytes() {
  QFETCH(Language, language);
  QFETCH(QString, character);
  QFETCH(int, fits);
  SettingsDialog dialog{Skin(language)};
  // A preset title too long is cut at a character to what fits.
  dialog.SetTitle(QLatin1Char('x') + character.repeated(fits));
  const QString cut = QLatin1Char('x') + character.repeated(fits - 1);
  QCOMPARE(Edit(dialog, "title")->text(), cut);
  QCOMPARE(dialog.Title(), cut);
  dialog.show();

  // Typing stops at the limit.
  QLineEdit* copyright = Edit(dialog, "copyright");
  for (int i = 0; i <= fits; ++i)
    QTest::sendKeyEvent(QTest::Click, copyright, Qt::Key_unknown, character, {});
  QCOMPARE(copyright->text().size(), fits);
  QCOMPARE(copyright->text(), character.repeated(fits));
  // Pasted text too.
  copyright->clear();
  copyright->insert(character.repeated(fits));
  QCOMPARE(copyright->text(), character.repeated(fits));
  copyright->insert(character);
  QCOMPARE(copyright->text(), character.repeated(fits));
  dialog.accept();
  QCOMPARE(dialog.Copyright(), character.repeated(fits));
}

void SettingsDialogTest::clearEmptiesBothTexts() {
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.SetTitle(QStringLiteral("bell"));
  dialog.show();
  QTest::keyClicks(Edit(dialog, "copyright"), QStringLiteral("(c) me"));
  Click(dialog.findChild<BitmapButton*>("clear"));
  QVERIFY(dialog.isVisible());
  QCOMPARE(Edit(dialog, "title")->text(), QString());
  QCOMPARE(Edit(dialog, "copyright")->text(), QString());
  Click(dialog.findChild<BitmapButton*>("ok"));
  QCOMPARE(dialog.Title(), QString());
  QCOMPARE(dialog.Copyright(), QString());
}

void SettingsDialogTest::cancelKeepsThePresetAndRecordsTheRectangle() {
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.SetTitle(QStringLiteral("bell"));
  dialog.SetInputRate(8000);
  dialog.move(40, 30);
  dialog.show();
  Click(Toggle(dialog, "save"));
  QTest::keyClicks(Edit(dialog, "title"), QStringLiteral("x"));
  const QRect where = dialog.frameGeometry();
  Click(dialog.findChild<BitmapButton*>("cancel"));
  QCOMPARE(dialog.result(), SkinnedDialog::kCancelled);
  QCOMPARE(dialog.SavedRect(), where);
  QCOMPARE(dialog.Title(), QStringLiteral("bell"));
  QCOMPARE(dialog.TargetRate(), 0);
  QCOMPARE(dialog.Flags(), 0);
}

void SettingsDialogTest::enterConfirmsAndEscapeCancelsAModalRun() {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    SettingsDialog dialog{Skin(Language::kEnglish)};
    dialog.SetInputRate(7999);
    const ModalFailSafe failSafe({&dialog});
    QTimer::singleShot(0, &dialog, [&dialog, key] {
      // Enter in an edit still confirms the window.
      QTest::keyClick(Edit(dialog, "title"), key);
    });
    const int result = dialog.exec();
    QVERIFY(!failSafe.Fired());
    QCOMPARE(result, key == Qt::Key_Return ? SkinnedDialog::kOk : SkinnedDialog::kCancelled);
    QCOMPARE(dialog.TargetRate(), key == Qt::Key_Return ? 4000 : 0);
    QVERIFY(!dialog.SavedRect().isNull());
  }
}

void SettingsDialogTest::powerEndsTheWindowAndItsOwner() {
  QWidget owner;
  owner.show();
  SettingsDialog dialog{Skin(Language::kEnglish)};
  dialog.SetOwner(&owner);
  dialog.show();
  Click(dialog.findChild<BitmapButton*>("power"));
  QCOMPARE(dialog.result(), SkinnedDialog::kPoweredOff);
  QVERIFY(dialog.PoweredOff());
  QVERIFY(!owner.isVisible());
}

}  // namespace pelorin::ui::test

QTEST_MAIN(pelorin::ui::test::SettingsDialogTest)
#include "settings_dialog_test.moc"
