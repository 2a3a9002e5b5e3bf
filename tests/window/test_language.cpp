// The window in Hungarian and in English: every text fits where it is shown,
// the switch (right-click menu, About) changes every text at once without
// touching what was typed or the poll, and the choice is remembered.
// A program of its own: the translators a test installs stay for the process.
#include "AppTest.h"
#include "Language.h"
#include "NumberFormat.h"
#include "Pty.h"
#include "SimProcess.h"
#include "TextFit.h"
#include "Tools.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

#include <sys/stat.h>

namespace {

using Language::TLanguage;

constexpr int kWait = 30000;

void Switch(TLanguage language)
{
    ASSERT_TRUE(Language::Apply(language)) << "a translation file is missing from the build";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

// Lines of a memo that wrap: the design's memos show their lines as written.
QStringList WrappedMemoLines(QPlainTextEdit *memo)
{
    QStringList out;
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next())
        if (b.layout() && b.layout()->lineCount() > 1)
            out << memo->objectName() + QStringLiteral(": ") + b.text();
    const int lines = memo->document()->blockCount();
    if (lines * memo->fontMetrics().lineSpacing() > memo->viewport()->height() + memo->fontMetrics().lineSpacing() * 4)
        out << memo->objectName() + QStringLiteral(": too many lines");
    return out;
}

// The INI file in a scratch folder; the window starts in Hungarian.
class ScratchHome
{
protected:
    ScratchHome()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path());
        Language::Apply(TLanguage::Hungarian);
    }
    ~ScratchHome() { Language::Apply(TLanguage::Hungarian); }

    QTemporaryDir m_home;
};

// A number as the window writes it in the locale of the moment.
QString Milliamperes(double value)
{
    return NumberFormat::Format(value, QStringLiteral("#0.000")) + QStringLiteral(" mA");
}

class LanguageTest : public ScratchHome, public AppTest
{
protected:

    // Opens the port, answers a poll and the settings read: the live texts show values.
    void Connect()
    {
        Open();
        ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
        ASSERT_EQ(Serve(), TForm1::Cmd_ReadSettings);
    }

    QStringList ClippedOnBothPages()
    {
        QStringList clipped;
        for (QWidget *page : {form->TabSheet1, form->TabSheet2}) {
            form->PageControl1->setCurrentWidget(page);
            QCoreApplication::processEvents();
            clipped << ClippedTexts(form.get());
        }
        clipped << WrappedMemoLines(form->Memo1) << WrappedMemoLines(form->Memo2);
        form->PageControl1->setCurrentWidget(form->TabSheet1);
        // The design's own, a pixel short in either language and no language at all
        // (a step number, a sensor's part number): widening them would move the pages.
        clipped.removeIf([](const QString &line) {
            return line.startsWith(QStringLiteral("QLabel Label3: \"1.\"")) ||
                   line.startsWith(QStringLiteral("QRadioButton : \"12 = HSCDRRD100MD2A3"));
        });
        return clipped;
    }
};

TEST_F(LanguageTest, EveryTextFitsInBothLanguagesAndFollowsTheSwitch)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 5000));
    Connect();
    form->SpeedButton_PWMForce->click(); // shows the output calibration points
    QWidget *about = form->Tools()->Open(TToolWindows::About);
    ASSERT_NE(about, nullptr);

    for (const TLanguage language : {TLanguage::English, TLanguage::Hungarian, TLanguage::English}) {
        Switch(language);
        const bool english = language == TLanguage::English;
        SCOPED_TRACE(english ? "English" : "Hungarian");
        EXPECT_EQ(ClippedOnBothPages().join('\n').toStdString(), "");
        EXPECT_EQ(ClippedTexts(mb).join('\n').toStdString(), "");
        about->adjustSize();
        EXPECT_EQ(ClippedTexts(about).join('\n').toStdString(), "");
        EXPECT_EQ(ClippedTexts(form->Tools()->Button()).join('\n').toStdString(), "");

        // Design texts, texts from the state, menus, tips and About all changed.
        EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), english ? "Close serial port" : "Soros port bezárása");
        EXPECT_EQ(form->Label_Firmware->text(), english ? "Firmware: v2017.01.05." : "Förmver: v2017.01.05.");
        EXPECT_EQ(form->Label_OutputValue->text(), Milliamperes(4.0));
        if (english) {
            EXPECT_EQ(form->Label_OutputValue->text(), "4.000 mA");
        }
        EXPECT_EQ(form->GroupBox1->title(), english ? "Measured pressure" : "Mért nyomás");
        EXPECT_EQ(form->RadioGroup_ErrorCurrentValue->Button(0)->text(), english ? "3.2 mA" : "3,2 mA");
        EXPECT_EQ(form->Tools()->Action(TToolWindows::LineMonitor)->text(), english ? "Line &monitor…" : "&Vonalfigyelő…");
        EXPECT_EQ(form->Tools()->LanguageMenu()->title(), english ? "&Language" : "&Nyelv");
        EXPECT_TRUE(form->Tools()->LanguageAction(language)->isChecked());
        EXPECT_EQ(form->windowTitle(), TForm1::Caption());
        EXPECT_EQ(about->windowTitle(), english ? "About KV508 I Configuration" : "Névjegy – KV508 I beállítóprogram");
        EXPECT_EQ(mb->OpenButton->text(), "Close");
        EXPECT_EQ(mb->RefreshButton->toolTip(), english ? "Refresh list" : "Lista frissítése");
    }

    // Readouts greyed for want of answers: their note is told again in the new language.
    ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
    TimeOut();
    ASSERT_FALSE(form->ReadoutsCurrent());
    EXPECT_TRUE(form->Label_MeasuredValue->toolTip().startsWith(QStringLiteral("Not current")));
    Switch(TLanguage::Hungarian);
    EXPECT_TRUE(form->Label_MeasuredValue->toolTip().startsWith(QStringLiteral("Nem friss")))
        << form->Label_MeasuredValue->toolTip().toStdString();
}

TEST_F(LanguageTest, BeforeAnyAnswerThePagesKeepTheDesignsPlaceholders)
{
    Switch(TLanguage::English);
    EXPECT_EQ(form->Label_MeasuredValue->text(), "00000");
    EXPECT_EQ(form->Label_BeallitottPWM->text(), "0 000");
    EXPECT_EQ(form->Label_Firmware->text(), "Firmware: v");
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), "Open serial port");
    EXPECT_EQ(mb->StatusLine->text(), "Last status: Closed Port");
    Switch(TLanguage::Hungarian);
    EXPECT_EQ(form->Label_Firmware->text(), "Förmver: v");
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), "Soros port megnyitása");
}

TEST_F(LanguageTest, TheChoiceIsRememberedAndANewWindowStartsInIt)
{
    const QLocale hungarian(QLocale::Hungarian, QLocale::Hungary), american(QLocale::English, QLocale::UnitedStates);
    // No choice yet: the desktop's locale decides.
    EXPECT_EQ(TToolWindows::StartLanguage(american), TLanguage::English);
    EXPECT_EQ(TToolWindows::StartLanguage(hungarian), TLanguage::Hungarian);

    form->Tools()->LanguageAction(TLanguage::English)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    EXPECT_EQ(Language::Current(), TLanguage::English);
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), "Open serial port");
    EXPECT_EQ(TForm1::PortSettings().value(QStringLiteral("ui/language")).toString(), "en");
    EXPECT_EQ(TToolWindows::StartLanguage(hungarian), TLanguage::English);

    // As the program starts: the remembered language first, then the window.
    Switch(TToolWindows::StartLanguage(hungarian));
    {
        TForm1 next;
        EXPECT_EQ(next.Button_OpenOrCloceSerialPort->text(), "Open serial port");
        EXPECT_EQ(next.Tools()->Button()->toolTip().left(12), "Line monitor");
        EXPECT_TRUE(next.Tools()->LanguageAction(TLanguage::English)->isChecked());
    }

    // About offers the same choice.
    auto *about = form->Tools()->Open(TToolWindows::About);
    auto *combo = about->findChild<QComboBox *>(QStringLiteral("Combo_AboutLanguage"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentText(), "English");
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    EXPECT_EQ(Language::Current(), TLanguage::Hungarian);
    EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), "Soros port megnyitása");
    EXPECT_TRUE(form->Tools()->LanguageAction(TLanguage::Hungarian)->isChecked());
    EXPECT_EQ(TForm1::PortSettings().value(QStringLiteral("ui/language")).toString(), "hu");

    // Anything else there is no choice: the desktop's locale again.
    QSettings(TForm1::SettingsFile(), QSettings::IniFormat).setValue(QStringLiteral("ui/language"), "xx");
    EXPECT_EQ(TToolWindows::StartLanguage(american), TLanguage::English);
}

// An INI file that is no regular one is neither read nor written for the
// language either; the window's note about it follows the switch.
TEST_F(LanguageTest, AnIniFileThatIsNoRegularFileKeepsNoChoice)
{
    form.reset();
    const QString path = TForm1::SettingsFile();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    form = std::make_unique<TForm1>();
    form->show();
    QMessageBox *box = nullptr;
    const auto shown = [&] {
        box = form->findChild<QMessageBox *>(QStringLiteral("SettingsProblem"));
        return box != nullptr;
    };
    ASSERT_TRUE(QTest::qWaitFor(shown, 5000));
    EXPECT_TRUE(box->text().contains(QStringLiteral("nem közönséges fájl"))) << box->text().toStdString();

    form->Tools()->LanguageAction(TLanguage::English)->trigger(); // no reader of the FIFO: an open would hang here
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    EXPECT_EQ(Language::Current(), TLanguage::English);
    EXPECT_TRUE(box->text().contains(QStringLiteral("is not a regular file"))) << box->text().toStdString();
    EXPECT_EQ(box->text(), form->SettingsProblem());
    EXPECT_EQ(TToolWindows::StartLanguage(QLocale(QLocale::Hungarian, QLocale::Hungary)), TLanguage::Hungarian);
    form.reset();
    const QFileInfo after(path);
    EXPECT_TRUE(after.exists() && !after.isFile()) << "replaced by a plain file";
    QFile::remove(path);
}

// Switching while the window polls the simulator, with entries typed and the
// output forced: nothing typed is lost and the chain goes on, forced.
class LanguageSimTest : public ScratchHome, public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        mb = form->MB1;
        mb->setMBRefreshListOnStartup(false);
        mb->OnMBMasterEndOfEvent = [this](TMBStatus status, const QString &text) {
            if (status == TMB::stOK && mb->MBMasterCommandToSlave() == TForm1::Cmd_Poll)
                ++polls;
            form->MB1MBMasterEndOfEvent(status, text);
        };
        UseScratchVirtualPortDir();
    }

    void TearDown() override { form.reset(); }

    bool Polls(int n)
    {
        const int target = polls + n;
        return QTest::qWaitFor([&] { return polls >= target; }, kWait);
    }

    std::unique_ptr<TForm1> form;
    TMB *mb = nullptr;
    int polls = 0;
};

TEST_F(LanguageSimTest, SwitchingWhilePollingKeepsWhatWasTypedAndThePoll)
{
    TSimProcess sim;
    ASSERT_TRUE(sim.Start()) << sim.Stderr().toStdString();
    form->show();
    mb->setPort(sim.Path());
    form->Button_OpenOrCloceSerialPort->click();
    ASSERT_TRUE(mb->MBPortOpen()) << mb->LastOpenError().toStdString();
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->SpeedButton_ReadSettings->isChecked(); }, kWait));

    // Typed, not yet written; chosen; the output forced to 50 %.
    form->Edit_iFizFor4mA->setText(QStringLiteral("-123"));
    form->Edit_iFizFor20mA->setText(QStringLiteral("4567"));
    form->Edit_Averaging->setText(QStringLiteral("12"));
    const int mode = 1 - form->RadioGroup_ErrorCurrentMode->ItemIndex();
    form->RadioGroup_ErrorCurrentMode->Button(mode)->click();
    form->SpeedButton_PWMForce->click();
    form->Button_Out50Percents->click();
    ASSERT_TRUE(Polls(2));
    ASSERT_TRUE(sim.Status().contains(QStringLiteral("forced, drive 4095"))) << sim.Stderr().toStdString();

    for (const TLanguage language : {TLanguage::English, TLanguage::Hungarian}) {
        const bool english = language == TLanguage::English;
        SCOPED_TRACE(english ? "English" : "Hungarian");
        const QString framesBefore = mb->TxFramesLabel->text();
        form->Tools()->LanguageAction(language)->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);

        EXPECT_EQ(form->Button_OpenOrCloceSerialPort->text(), english ? "Close serial port" : "Soros port bezárása");
        EXPECT_EQ(form->Label_ErrorBitValue1->text(), english ? "Not calibrated" : "Nincs kalibrálva");
        EXPECT_EQ(form->Edit_iFizFor4mA->text(), "-123");
        EXPECT_EQ(form->Edit_iFizFor20mA->text(), "4567");
        EXPECT_EQ(form->Edit_Averaging->text(), "12");
        EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), mode);
        EXPECT_TRUE(form->SpeedButton_PWMForce->isChecked());
        EXPECT_TRUE(form->SpeedButton_SetAs4mA->isVisibleTo(form->TabSheet2));
        EXPECT_EQ(form->PWMValue, 4095);
        EXPECT_EQ(form->Label_BeallitottPWM->text(), NumberFormat::Format(4095, QStringLiteral("0 000")));
        EXPECT_TRUE(mb->MBPortOpen());

        ASSERT_TRUE(Polls(3));
        EXPECT_NE(mb->TxFramesLabel->text(), framesBefore) << "the panel's frame counter stopped";
        EXPECT_TRUE(sim.Status().contains(QStringLiteral("forced, drive 4095"))) << sim.Stderr().toStdString();
    }
    form->SpeedButton_PWMForce->click();
    ASSERT_TRUE(Polls(1));
    form->Button_OpenOrCloceSerialPort->click();
    EXPECT_FALSE(mb->MBPortOpen());
}

} // namespace
