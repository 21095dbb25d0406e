// The logger sheet and the About box, driven by clicks, with pictures.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <algorithm>

#include "about/CAboutDlg.h"
#include "debugaids/frm_Logger_configure.h"
#include "debugaids/pp_logger_configuration.h"
#include "tests/ui/UiTestSupport.h"

namespace {

using namespace ids::logger;

QStringList items(QWidget* dialog, int listId) {
    QStringList names;
    auto* list = findControlAs<QListWidget>(dialog, listId);
    for (int i = 0; list && i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

void selectItem(QWidget* dialog, int listId, const QString& name) {
    auto* list = findControlAs<QListWidget>(dialog, listId);
    ASSERT_NE(list, nullptr);
    auto found = list->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    QRect rect = list->visualItemRect(found[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// A click on a check box's indicator (its text may end well before the
// middle of a wide box).
void tick(QWidget* dialog, int id) {
    auto* box = findControlAs<QAbstractButton>(dialog, id);
    ASSERT_NE(box, nullptr) << id;
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

QString savePicture(QWidget* widget, const QString& name) {
    QDir dir(QUILL_BINARY_DIR "/test-pictures");
    dir.mkpath(".");
    const QString file = dir.filePath(name);
    widget->grab().save(file);
    return file;
}

class LoggerSheetTest : public QuillUiTest {};

}  // namespace

TEST_F(LoggerSheetTest, ChosenRegistersComeBackAsIndicesInListOrder) {
    const int portb = address("PORTB"), ddrb = address("DDRB");
    frm_Logger_configure sheet(core(), {}, LoggerLayout{});
    QStringList available = items(&sheet, kAvailable);
    EXPECT_TRUE(available.contains("PORTB"));
    EXPECT_FALSE(available.contains(""));
    EXPECT_TRUE(std::is_sorted(available.begin(), available.end()));
    EXPECT_TRUE(items(&sheet, kChosen).isEmpty());

    answerDialogs([&](QDialog* d) {
        d->show();
        selectItem(d, kAvailable, "PORTB");
        selectItem(d, kAvailable, "DDRB");
        selectItem(d, kAvailable, "PINA");
        clickControl(d, kAdd);
        // Back again: "<- Don't log" for one, the others stay.
        selectItem(d, kChosen, "PINA");
        clickControl(d, kRemove);
        EXPECT_TRUE(findControlAs<QListWidget>(d, kAvailable)->selectedItems().isEmpty());
        EXPECT_TRUE(items(d, kAvailable).contains("PINA"));
        savePicture(d, "logger-configuration.png");
        clickControl(d, 1);
    });
    ASSERT_EQ(sheet.run(), QDialog::Accepted);
    EXPECT_EQ(sheet.registerNames(), (std::vector<std::string>{"DDRB", "PORTB"}));
    EXPECT_EQ(sheet.registerIndices(), (std::vector<int>{ddrb, portb}));
}

TEST_F(LoggerSheetTest, StartsFromTheCurrentChoicesSoOkChangesNothing) {
    const int portb = address("PORTB");
    LoggerLayout layout;
    layout.binaryValues = true;
    layout.commentText = "#";
    frm_Logger_configure sheet(core(), {portb}, layout);
    EXPECT_EQ(items(&sheet, kChosen), QStringList{"PORTB"});
    EXPECT_FALSE(items(&sheet, kAvailable).contains("PORTB"));
    answerDialogs([&](QDialog* d) {
        d->show();
        EXPECT_TRUE(findControlAs<QCheckBox>(d, kBinaryValues)->isChecked());
        EXPECT_EQ(findControlAs<QLineEdit>(d, kCommentText)->text(), "#");
        clickControl(d, 1);
    });
    ASSERT_EQ(sheet.run(), QDialog::Accepted);
    EXPECT_EQ(sheet.registerIndices(), (std::vector<int>{portb}));
    EXPECT_EQ(sheet.layout(), layout);
}

TEST_F(LoggerSheetTest, ClearEmptiesTheLogListAndLayoutClicksAreKeptOnlyOnOk) {
    frm_Logger_configure sheet(core(), {address("PORTA"), address("PORTB")}, LoggerLayout{});
    answerDialogs([&](QDialog* d) {
        d->show();
        clickControl(d, kClear);
        EXPECT_TRUE(items(d, kChosen).isEmpty());
        EXPECT_TRUE(items(d, kAvailable).contains("PORTA"));
        d->findChild<QTabWidget*>()->setCurrentIndex(1);
        tick(d, kPrecedeByCycleCounter);
        tick(d, kOctalValues);
        // Without the comment the comment text cannot be edited.
        tick(d, kPrecedeByComment);
        EXPECT_FALSE(findControl(d, kCommentText)->isEnabled());
        savePicture(d, "logger-output-layout.png");
        clickControl(d, 1);
    });
    ASSERT_EQ(sheet.run(), QDialog::Accepted);
    EXPECT_TRUE(sheet.registerIndices().empty());
    EXPECT_FALSE(sheet.layout().precedeByCycleCounter);
    EXPECT_TRUE(sheet.layout().octalValues);
    EXPECT_FALSE(sheet.layout().precedeByComment);

    // Cancel: the results stay as they were when the sheet opened.
    frm_Logger_configure again(core(), {address("PORTA")}, LoggerLayout{});
    answerDialogs([&](QDialog* d) {
        clickControl(d, kClear);
        tick(d, kHexValues);
        clickControl(d, 2);
    });
    EXPECT_EQ(again.run(), QDialog::Rejected);
    EXPECT_EQ(again.registerIndices(), (std::vector<int>{address("PORTA")}));
    EXPECT_EQ(again.layout(), LoggerLayout{});
}

TEST_F(LoggerSheetTest, AboutShowsTheDottedVersionAndOpensLinksThroughTheSeam) {
    EXPECT_EQ(DottedVersion("1, 0, 0, 1"), "1.0.0.1");
    EXPECT_EQ(DottedVersion("2,10 ,3"), "2.10.3");
    EXPECT_EQ(DottedVersion("1.0"), "1.0");

    QStringList opened;
    LinkOpener previous = SetLinkOpener([&](const QString& url) { opened << url; });
    answerDialogs([&](QDialog* d) {
        d->show();
        EXPECT_EQ(d->property("dialogId").toInt(), ids::about::kTemplate);
        auto* version = findControlAs<QLabel>(d, ids::about::kVersionText);
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->text(), "Version 1.0.0.1");
        savePicture(d, "about.png");
        for (QLabel* label : d->findChildren<QLabel*>()) {
            QString url = label->property("linkUrl").toString();
            if (!url.isEmpty()) emit label->linkActivated(url);
        }
        clickControl(d, ids::about::kOk);
    });
    EXPECT_EQ(core()->ExecuteCommand(kCmdAbout), S_OK);
    SetLinkOpener(previous);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(opened.contains("http://www.grinninglizard.com/tinyxml/"));
}

TEST_F(LoggerSheetTest, SettingsSheetTakesRegistersAtOnceAndTheLayoutOnlyOnItsOwnOk) {
    const int porta = address("PORTA");
    auto chooseOctalAndPortA = [&](QDialog* d) {
        selectItem(d, kAvailable, "PORTA");
        clickControl(d, kAdd);
        d->findChild<QTabWidget*>()->setCurrentIndex(1);
        tick(d, kOctalValues);
        clickControl(d, 1);
    };
    RegisterSet registers;
    {
        QWidget page;  // the Settings sheet's page; cancelled: it goes away
        answerDialogs(chooseOctalAndPortA);
        ASSERT_TRUE(frm_Logger_configure::ConfigureFromSettings(&page, core(), &registers));
        EXPECT_TRUE(registers.test(porta));
        EXPECT_FALSE(core()->Logger().layout().octalValues);
    }
    frm_Logger_configure::ApplyKeptLayout(core());
    EXPECT_FALSE(core()->Logger().layout().octalValues);

    QWidget page;
    registers.clear();
    answerDialogs(chooseOctalAndPortA);
    ASSERT_TRUE(frm_Logger_configure::ConfigureFromSettings(&page, core(), &registers));
    frm_Logger_configure::ApplyKeptLayout(core());  // the Settings sheet's OK
    EXPECT_TRUE(core()->Logger().layout().octalValues);

    // Cancel in the logger sheet keeps the page's registers.
    answerDialogs([&](QDialog* d) {
        clickControl(d, kClear);
        clickControl(d, 2);
    });
    EXPECT_FALSE(frm_Logger_configure::ConfigureFromSettings(&page, core(), &registers));
    EXPECT_TRUE(registers.test(porta));
}
