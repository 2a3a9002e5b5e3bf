// The main window: its stored description, the live displays, the settings
// entries, the forced output and the latching buttons.
#include "AppTest.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTextBlock>

#include <sys/stat.h>

namespace {

QColor Background(const QLabel *label)
{
    return label->palette().color(QPalette::Window);
}

// Shows the window and makes it the active one, so focus changes are real.
bool Activate(QWidget *w)
{
    w->show();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w, 5000);
}

QStringList MemoLines(const QPlainTextEdit *memo)
{
    QStringList lines;
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

QStringList g_warnings;
void CollectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings << message;
}

TEST(AppWindow, StoredDescriptionBuildsTheWindowAsDesigned)
{
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(CollectWarnings);
    auto form = std::make_unique<TForm1>();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join('\n').toStdString(); // every link found its handler

    const TMB *mb = form->MB1;
    EXPECT_EQ(mb->Port(), "ttyS0");
    EXPECT_EQ(mb->MBBaud(), TMB::baud004800);
    EXPECT_EQ(mb->MBMasterIDToSlave(), 39);
    EXPECT_FALSE(mb->MBBaudEditVisible());
    EXPECT_EQ(mb->WinQSizeIn(), 8192u);
    EXPECT_EQ(mb->WinQSizeOut(), 8192u);
    EXPECT_EQ(mb->MBMode(), TMB::modeASCIIMaster);
    EXPECT_EQ(mb->MBMasterAddressToSlave(), 1);
    EXPECT_FALSE(mb->MBPortOpen());

    EXPECT_EQ(form->windowTitle(), "Form1");
    EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet1);
    for (QWidget *hidden : {static_cast<QWidget *>(form->Panel1), static_cast<QWidget *>(form->Image_OutputCalibrationOK),
                            static_cast<QWidget *>(form->SpeedButton_SetAs4mA),
                            static_cast<QWidget *>(form->SpeedButton_SetAs20mA)})
        EXPECT_FALSE(hidden->isVisibleTo(form->TabSheet2)) << hidden->objectName().toStdString();
    EXPECT_EQ(form->Image_OutputCalibrationOK->pixmap().size(), QSize(41, 38));
    EXPECT_EQ(form->RadioGroup_Input->ItemIndex(), 0);
    EXPECT_EQ(form->RadioGroup_Sensor->ItemIndex(), -1);
    EXPECT_EQ(form->RadioGroup_Sensor->Items().size(), 12);
    EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), -1);
    EXPECT_EQ(form->RadioGroup_ErrorCurrentValue->ItemIndex(), -1);
    EXPECT_EQ(form->Edit_iFizFor4mA->maxLength(), 5);
    EXPECT_TRUE(form->Button_OpenOrCloceSerialPort->toolTip().contains("Ctrl+Tab"));
    EXPECT_EQ(form->SpeedButton_PWMForce->GroupIndex(), 1);
    EXPECT_EQ(form->TrackBar_PWM->maximum(), 100);

    const QStringList memo1 = MemoLines(form->Memo1);
    ASSERT_EQ(memo1.size(), 20);
    EXPECT_EQ(memo1.first(), QStringLiteral("A kalibrálás lépései:"));
    EXPECT_EQ(memo1.at(15), QStringLiteral("normál működését."));
    EXPECT_EQ(memo1.mid(16), QStringList({"", "", "", ""}));
    const QStringList memo2 = MemoLines(form->Memo2);
    ASSERT_EQ(memo2.size(), 8);
    EXPECT_EQ(memo2.first(), QStringLiteral("A fenti két beviteli mezőben adhatja meg a 4 mA kimenő áramhoz "));
    EXPECT_TRUE(form->Memo1->isReadOnly());
}

TEST(AppWindow, CaptionIsComposedOnActivation)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Form1");
    ASSERT_TRUE(Activate(&form));
    EXPECT_EQ(form.windowTitle(), "KV508 I v2017.01.05.");
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &activate);
    EXPECT_EQ(form.windowTitle(), "KV508 I v2017.01.05.");
}

// A desktop that does not activate the window (or not yet) still shows the caption.
TEST(AppWindow, CaptionIsComposedWhenFirstShown)
{
    TForm1 form;
    form.setAttribute(Qt::WA_ShowWithoutActivating);
    form.show();
    EXPECT_EQ(form.windowTitle(), "KV508 I v2017.01.05.");
}

// An INI file that is a FIFO (or a device, a folder) would hang the window
// before it shows: it starts with its defaults, says why, and leaves the file be.
TEST(AppWindow, AnIniFileThatIsNoRegularFileIsNeitherReadNorReplaced)
{
    const QString path = TForm1::SettingsFile();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    const QString kept = path + QStringLiteral(".kept");
    QFile::remove(kept);
    const bool hadFile = QFile::rename(path, kept);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    {
        TForm1 form; // no reader of the FIFO: an open of it would never return
        form.MB1->SetManualTimers(true);
        auto link = UseFakeLink(*form.MB1);
        EXPECT_TRUE(form.SettingsProblem().contains(QDir::toNativeSeparators(path))) << form.SettingsProblem().toStdString();
        EXPECT_TRUE(form.SettingsProblem().contains(QStringLiteral("not a regular file")));
        form.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.findChild<QMessageBox *>(QStringLiteral("SettingsProblem")) != nullptr; }, 5000));
        EXPECT_EQ(form.findChild<QMessageBox *>(QStringLiteral("SettingsProblem"))->text(), form.SettingsProblem());
        form.Button_OpenOrCloceSerialPort->click(); // an opening remembers the port: not here
        EXPECT_TRUE(form.MB1->MBPortOpen());
        QSettings others = TForm1::PortSettings(); // as the tool windows use them
        EXPECT_FALSE(others.contains(QStringLiteral("port/name")));
        others.setValue(QStringLiteral("calibration/x"), 1);
    }
    const QFileInfo after(path);
    EXPECT_TRUE(after.exists() && !after.isFile()) << "replaced by a plain file";
    QFile::remove(path);
    if (hadFile)
        QFile::rename(kept, path);
}

TEST(AppWindow, OpensAtItsDesignedPlaceAndSize)
{
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));
    EXPECT_EQ(form.pos(), QPoint(519, 197));
    EXPECT_EQ(form.size(), QSize(985, 705));
}

TEST(AppWindow, KeyboardShortcutSwitchesBetweenThePages)
{
    TForm1 form;
    ASSERT_TRUE(Activate(&form));
    QTest::keyClick(&form, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet2);
    QTest::keyClick(&form, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
    // also from inside an edit, and with Ctrl+PgDown / Ctrl+PgUp
    form.Edit_iFizFor4mA->setFocus();
    QTest::keyClick(form.Edit_iFizFor4mA, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet2);
    QTest::keyClick(&form, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
}

// ---- live displays ------------------------------------------------------------------------

TEST_F(AppTest, LiveDataIsShownWithThePatternsAndTheLocaleSeparator)
{
    struct Case {
        quint8 decimals;
        qint16 measured;
        qint16 scaleEnd;
        const char *measuredText;
        const char *scaleEndText;
    };
    const Case cases[] = {
        {1, 345, 2500, "034,5", "Scale end = 250,0"},
        {3, -1234, 1000, "-1,234", "Scale end = 1,000"},
        {0, 7, 12345, "0007", "Scale end = 12345"},
        {2, -5, 250, "-00,05", "Scale end = 02,50"},
        {4, 12345, -5000, "1,2345", "Scale end = -0,5"},
        {5, 12345, 0, "0,12345", "Scale end = 0"},
        {10, 15, -5000, "1,5E-9", "Scale end = -5E-7"},
    };
    Open();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.measuredText);
        live.Decimals = c.decimals;
        live.MeasuredValue = c.measured;
        live.ScaleEnd = c.scaleEnd;
        ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
        EXPECT_EQ(form->Label_MeasuredValue->text(), c.measuredText);
        EXPECT_EQ(form->Label_ScaleEnd->text(), c.scaleEndText);
        Serve(); // the settings read latched by the opening, then polls
    }

    struct Output {
        qint16 microamps;
        const char *text;
    };
    for (const Output &o : {Output{20000, "20,000 mA"}, Output{-50, "-0,050 mA"}, Output{4000, "4,000 mA"},
                            Output{0, "0,000 mA"}, Output{-32768, "-32,768 mA"}}) {
        live.OutputValue = o.microamps;
        ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
        EXPECT_EQ(form->Label_OutputValue->text(), o.text);
    }

    struct Bridge {
        qint16 value;
        const char *text;
    };
    for (const Bridge &b : {Bridge{12345, "12 345"}, Bridge{987, " 987"}, Bridge{-987, "- 987"}, Bridge{0, " 0"}}) {
        live.BridgeDataAveraged = b.value;
        ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
        EXPECT_EQ(form->Label_PressureSensorBridgeDataAveraged->text(), b.text);
    }

    live.FirmwareDateCode = 20170105;
    live.CalibrationDateCode = 0;
    live.SPS = 65535;
    ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
    EXPECT_EQ(form->Label_Firmware->text(), QStringLiteral("Förmver: v2017.01.05."));
    EXPECT_EQ(form->Label_CalibrationDate->text(), QStringLiteral("Kalibrálás dátuma: 0000.00.00."));
    EXPECT_EQ(form->Label_SPS->text(), "(SPS = 65535)");

    // With a point as the locale's separator.
    QLocale::setDefault(QLocale::c());
    live.Decimals = 1;
    live.MeasuredValue = 345;
    ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
    EXPECT_EQ(form->Label_MeasuredValue->text(), "034.5");
}

TEST_F(AppTest, ErrorFlagsColourTheirLabelsAndTheTickFollowsTheFirst)
{
    QLabel *labels[] = {form->Label_ErrorBitValue1, form->Label_ErrorBitValue2, form->Label_ErrorBitValue4,
                        form->Label_ErrorBitValue8, form->Label_ErrorBitValue16};
    for (QLabel *l : labels)
        EXPECT_EQ(Background(l), TMB::FaceColor());
    Open();
    for (quint8 bits : {quint8(0x11), quint8(0x00), quint8(0x1F), quint8(0x0E), quint8(0xE0)}) {
        SCOPED_TRACE(int(bits));
        live.ErrorBits = bits;
        ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Background(labels[i]), (bits >> i) & 1 ? QColor(255, 0, 0) : TMB::FaceColor()) << i;
        EXPECT_EQ(form->Image_OutputCalibrationOK->isVisibleTo(form->TabSheet2), (bits & 1) == 0);
        Serve();
    }
}

// Values that are no longer the instrument's must not look live: greyed while
// no answer comes, with the last answer's time; the design's look with the next.
TEST_F(AppTest, ReadoutsAreGreyedWhileNoAnswerComes)
{
    QLabel *readouts[] = {form->Label_MeasuredValue, form->Label_OutputValue, form->Label_ScaleEnd,
                          form->Label_PressureSensorBridgeDataAveraged, form->Label_SPS};
    form->show();
    Open();
    ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
    ASSERT_EQ(Serve(), TForm1::Cmd_ReadSettings);
    EXPECT_TRUE(form->ReadoutsCurrent());
    std::vector<QImage> live;
    std::vector<QColor> ink;
    for (QLabel *l : readouts) {
        live.push_back(l->grab().toImage());
        ink.push_back(l->palette().color(QPalette::WindowText));
        EXPECT_TRUE(l->toolTip().isEmpty());
    }

    // A poll that gets no answer through all its tries.
    ASSERT_EQ(Send().command, TForm1::Cmd_Poll);
    TimeOut();
    EXPECT_FALSE(form->ReadoutsCurrent());
    const QString when = form->LastAnswerAt().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    for (std::size_t i = 0; i < std::size(readouts); ++i) {
        EXPECT_NE(readouts[i]->palette().color(QPalette::WindowText), ink[i]) << i;
        EXPECT_TRUE(readouts[i]->toolTip().contains(when)) << readouts[i]->toolTip().toStdString();
        EXPECT_NE(readouts[i]->grab().toImage(), live[i]) << i;
    }

    // The next answer: exactly as before.
    ASSERT_EQ(Serve(), TForm1::Cmd_Poll);
    EXPECT_TRUE(form->ReadoutsCurrent());
    for (std::size_t i = 0; i < std::size(readouts); ++i) {
        EXPECT_EQ(readouts[i]->grab().toImage(), live[i]) << i;
        EXPECT_TRUE(readouts[i]->toolTip().isEmpty());
    }

    // The port closed (by the user or lost): not current either.
    form->Button_OpenOrCloceSerialPort->click();
    EXPECT_FALSE(form->ReadoutsCurrent());
    EXPECT_NE(form->Label_MeasuredValue->grab().toImage(), live[0]);
}

TEST(AppWindow, DateCodes)
{
    EXPECT_EQ(TForm1::FormatDateCode(20161011), "2016.10.11.");
    EXPECT_EQ(TForm1::FormatDateCode(0), "0000.00.00.");
    EXPECT_EQ(TForm1::FormatDateCode(991399), "0099.13.99."); // not a date: shown as computed
    EXPECT_EQ(TForm1::FormatDateCode(4294967295u), "429496.72.95.");
    EXPECT_EQ(TForm1::DateCodeOf(QDate(2016, 10, 11)), 20161011u);
    EXPECT_EQ(TForm1::DateCodeOf(QDate(2017, 1, 5)), 20170105u);
    EXPECT_EQ(TForm1::DateCodeOf(QDate()), 0u);
}

// ---- settings --------------------------------------------------------------------------------

TEST(AppWindow, IntegerEntry)
{
    struct Case {
        const char *text;
        bool ok;
        qint32 value;
    };
    const Case cases[] = {
        {"123", true, 123},       {"  -45", true, -45},        {"+7", true, 7},
        {"$1F", true, 31},        {"x1f", true, 31},           {"0X7f", true, 127},
        {"-$10", true, -16},      {"$FFFFFFFF", true, -1},     {"2147483647", true, 2147483647},
        {"-2147483648", true, std::numeric_limits<qint32>::min()},
        {"2147483648", false, 0}, {"$100000000", false, 0},    {"", false, 0},
        {"   ", false, 0},        {"-", false, 0},             {"$", false, 0},
        {"0x", false, 0},         {"12 ", false, 0},           {"1.5", false, 0},
        {"abc", false, 0},        {"$G", false, 0},            {"1e3", false, 0},
        {"--1", false, 0},        {"\t5", false, 0},           {"0", true, 0},
    };
    for (const Case &c : cases) {
        qint32 v = 0;
        EXPECT_EQ(TForm1::TryStrToInt(QString::fromLatin1(c.text), v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(AppWindow, RoundingHalvesGoToEven)
{
    const std::tuple<qint64, qint64, qint64> cases[] = {{5, 2, 2},   {7, 2, 4},     {-5, 2, -2},   {-7, 2, -4},
                                                        {409550, 100, 4096}, {409650, 100, 4096}, {4100, 8191, 1},
                                                        {4095, 8191, 0},     {0, 7, 0}};
    for (const auto &[n, d, q] : cases)
        EXPECT_EQ(TForm1::RoundHalfEven(n, d), q) << n << "/" << d;
}

// Leaving an edit collects the settings: the entry is limited and written back.
TEST_F(AppTest, LeavingAnEditNormalisesTheEntry)
{
    ASSERT_TRUE(Activate(form.get()));
    struct Case {
        TEdit *edit;
        const char *typed;
        const char *shown;
    };
    const Case cases[] = {
        {form->Edit_iFizFor4mA, "12345", "9999"}, {form->Edit_iFizFor4mA, "-9999", "-9999"},
        {form->Edit_iFizFor4mA, "abc", "0"},      {form->Edit_iFizFor20mA, "99999", "9999"},
        {form->Edit_iFizFor20mA, "$FF", "255"},   {form->Edit_Averaging, "", "80"},
        {form->Edit_Averaging, "0", "1"},         {form->Edit_Averaging, "2000", "1600"},
        {form->Edit_Averaging, " 0x10", "16"},    {form->Edit_Averaging, "-5", "1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        const bool userPage = form->TabSheet1->isAncestorOf(c.edit);
        form->PageControl1->setCurrentWidget(userPage ? form->TabSheet1 : form->TabSheet2);
        c.edit->setFocus();
        ASSERT_TRUE(c.edit->hasFocus());
        c.edit->selectAll();
        QTest::keyClick(c.edit, Qt::Key_Backspace);
        QTest::keyClicks(c.edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(c.edit->text(), QString::fromLatin1(c.typed));
        (userPage ? form->Memo2 : form->Memo1)->setFocus(); // leave the edit
        EXPECT_EQ(c.edit->text(), c.shown);
    }
    EXPECT_EQ(form->SettingsToWrite.iFizFor4mA, 0);
    EXPECT_EQ(form->SettingsToWrite.iFizFor20mA, 255);
    EXPECT_EQ(form->SettingsToWrite.Averaging, 1);
}

TEST_F(AppTest, CollectingFillsUnselectedGroupsWithTheirDefaults)
{
    ASSERT_TRUE(Activate(form.get()));
    form->RadioGroup_Input->setItemIndex(-1);
    form->Edit_iFizFor20mA->setFocus();
    form->Edit_iFizFor4mA->setFocus(); // leaves Edit_iFizFor20mA
    EXPECT_EQ(form->RadioGroup_Sensor->ItemIndex(), 4);
    EXPECT_EQ(form->SettingsToWrite.SensorCode, 5);
    EXPECT_EQ(form->RadioGroup_Input->ItemIndex(), 0);
    EXPECT_EQ(form->SettingsToWrite.InputCode, 0);
    EXPECT_EQ(form->RadioGroup_ErrorCurrentValue->ItemIndex(), 0); // "3,2 mA"
    EXPECT_EQ(form->RadioGroup_ErrorCurrentMode->ItemIndex(), 0);  // "Engedélyezve"
    EXPECT_FALSE(form->SettingsToWrite.bErrorCurrentValue);
    EXPECT_EQ(form->Edit_iFizFor20mA->text(), "0");
    EXPECT_EQ(form->Edit_Averaging->text(), "80");
}

TEST_F(AppTest, SettingsReadFillsTheControlsWithinTheirLimits)
{
    struct Case {
        quint8 sensor;
        quint8 input;
        int sensorIndex;
        int inputIndex;
    };
    const Case cases[] = {{1, 0, 0, 0}, {12, 0, 11, 0}, {0, 0, -1, 0}, {13, 0, 11, 0},
                          {255, 1, 11, 1}, {5, 1, 4, 1}, {5, 7, 4, 1}, {3, 0, 2, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.sensor) << "/" << int(c.input));
        form->SettingsRead.SensorCode = c.sensor;
        form->SettingsRead.InputCode = c.input;
        form->ShowSettingsRead();
        EXPECT_EQ(form->RadioGroup_Sensor->ItemIndex(), c.sensorIndex);
        EXPECT_EQ(form->RadioGroup_Input->ItemIndex(), c.inputIndex);
        EXPECT_EQ(form->RadioGroup_Sensor->isVisibleTo(form->TabSheet2), c.inputIndex == 0);
    }
    // Values the edits could not take by typing are shown in full.
    form->SettingsRead.iFizFor4mA = -32768;
    form->SettingsRead.Averaging = 65535;
    form->ShowSettingsRead();
    EXPECT_EQ(form->Edit_iFizFor4mA->text(), "-32768");
    EXPECT_EQ(form->Edit_Averaging->text(), "65535");
}

TEST_F(AppTest, ChoosingTheInputKindShowsOrHidesTheSensorList)
{
    form->show();
    form->RadioGroup_Input->Button(1)->click();
    EXPECT_FALSE(form->RadioGroup_Sensor->isVisible());
    form->RadioGroup_Input->Button(0)->click();
    EXPECT_TRUE(form->RadioGroup_Sensor->isVisibleTo(form->TabSheet2));
}

// ---- forced output ---------------------------------------------------------------------------

TEST_F(AppTest, StepButtonsStayWithinTheOutputRange)
{
    struct Case {
        quint16 start;
        QPushButton *TForm1::*button;
        quint16 result;
        const char *label;
    };
    const Case cases[] = {
        {8000, &TForm1::Button9, 8191, "8 191"}, {500, &TForm1::Button2, 0, "0 000"},
        {4095, &TForm1::Button6, 4096, "4 096"}, {5, &TForm1::Button5, 4, "0 004"},
        {0, &TForm1::Button8, 100, "0 100"},     {8191, &TForm1::Button3, 8091, "8 091"},
        {3, &TForm1::Button4, 0, "0 000"},       {8185, &TForm1::Button7, 8191, "8 191"},
    };
    for (const Case &c : cases) {
        form->PWMValue = c.start;
        (form.get()->*c.button)->click();
        EXPECT_EQ(form->PWMValue, c.result) << c.start;
        EXPECT_EQ(form->Label_BeallitottPWM->text(), c.label) << c.start;
    }
    form->Button_OutVegertek->click();
    EXPECT_EQ(form->PWMValue, 8191);
    EXPECT_EQ(form->TrackBar_PWM->value(), 100);
    form->Button_Out0->click();
    EXPECT_EQ(form->PWMValue, 0);
    EXPECT_EQ(form->TrackBar_PWM->value(), 0);
}

TEST_F(AppTest, TrackBarAndValueRoundHalvesToEvenWithoutFeedback)
{
    ASSERT_TRUE(Activate(form.get()));
    form->PageControl1->setCurrentWidget(form->TabSheet2);
    form->Memo1->setFocus();

    form->Button_Out50Percents->click();
    EXPECT_EQ(form->PWMValue, 4095);
    EXPECT_EQ(form->Label_BeallitottPWM->text(), "4 095");
    EXPECT_EQ(form->TrackBar_PWM->value(), 50);

    // Moving the bar while it has the focus sets the value.
    form->TrackBar_PWM->setFocus();
    ASSERT_TRUE(form->TrackBar_PWM->hasFocus());
    for (auto [position, value] : {std::pair{10, 819}, std::pair{70, 5734}, std::pair{100, 8191}, std::pair{50, 4096}}) {
        form->TrackBar_PWM->setValue(position);
        EXPECT_EQ(form->PWMValue, value) << position;
        EXPECT_EQ(form->TrackBar_PWM->value(), position);
    }
    EXPECT_EQ(form->Label_BeallitottPWM->text(), "4 096");
    QTest::keyClick(form->TrackBar_PWM, Qt::Key_PageUp); // one page: 60
    EXPECT_EQ(form->PWMValue, 4915);

    // A step with the bar focused leaves the bar where it is.
    form->Button6->click();
    EXPECT_EQ(form->PWMValue, 4916);
    EXPECT_EQ(form->TrackBar_PWM->value(), 60);

    // Without the focus, value changes move the bar but the bar never feeds back.
    form->Memo1->setFocus();
    form->PWMValue = 4916;
    form->ShowPWMValue();
    EXPECT_EQ(form->TrackBar_PWM->value(), 60);
    EXPECT_EQ(form->PWMValue, 4916);
    form->Button5->click(); // 4915 -> 60.006 %: bar unchanged, value kept
    EXPECT_EQ(form->PWMValue, 4915);
    form->PWMValue = 41; // 0.5005 %: rounds up to 1
    form->ShowPWMValue();
    EXPECT_EQ(form->TrackBar_PWM->value(), 1);
    EXPECT_EQ(form->PWMValue, 41);
}

TEST_F(AppTest, ReleasingPWMForceCancelsAndHidesTheOutputPoints)
{
    form->SpeedButton_PWMForce->click();
    EXPECT_TRUE(form->SpeedButton_SetAs4mA->isVisibleTo(form->TabSheet2));
    EXPECT_TRUE(form->SpeedButton_SetAs20mA->isVisibleTo(form->TabSheet2));
    form->SpeedButton_SetAs4mA->click();
    EXPECT_TRUE(form->SpeedButton_SetAs4mA->isChecked());
    EXPECT_TRUE(form->SpeedButton_PWMForce->isChecked()); // a group of its own
    form->SpeedButton_PWMForce->click();
    EXPECT_FALSE(form->SpeedButton_SetAs4mA->isChecked());
    EXPECT_FALSE(form->SpeedButton_SetAs4mA->isVisibleTo(form->TabSheet2));
    EXPECT_FALSE(form->SpeedButton_SetAs20mA->isVisibleTo(form->TabSheet2));
}

// ---- latching buttons ------------------------------------------------------------------------

TEST_F(AppTest, LatchingReleasesOnlyLatchedSiblingsUnderTheSameParent)
{
    using Button = TSpeedButton *TForm1::*;
    const Button all[] = {&TForm1::SpeedButton_ReadSettings,  &TForm1::SpeedButton_WriteSettings2,
                          &TForm1::SpeedButton_EraseEEPROM,   &TForm1::SpeedButton_Reset,
                          &TForm1::SpeedButton_SetAs4mA,      &TForm1::SpeedButton_SetAs20mA,
                          &TForm1::SpeedButton_SetAs0,        &TForm1::SpeedButton_SetAsScaleEnd,
                          &TForm1::SpeedButton_WriteSettings, &TForm1::SpeedButton_Zero};
    const std::pair<Button, Button> siblings[] = {
        {&TForm1::SpeedButton_ReadSettings, &TForm1::SpeedButton_WriteSettings2},
        {&TForm1::SpeedButton_EraseEEPROM, &TForm1::SpeedButton_Reset},
        {&TForm1::SpeedButton_SetAs4mA, &TForm1::SpeedButton_SetAs20mA},
        {&TForm1::SpeedButton_SetAs0, &TForm1::SpeedButton_SetAsScaleEnd},
    };
    TForm1 &f = *form;
    for (const auto &[a, b] : siblings) {
        SCOPED_TRACE((f.*a)->objectName().toStdString());
        for (Button x : all)
            (f.*x)->setChecked(true);
        (f.*b)->setChecked(true);
        (f.*a)->setChecked(false);
        std::vector<bool> before;
        for (Button x : all)
            before.push_back((f.*x)->isChecked());
        (f.*a)->click(); // the user latches a: its sibling goes up, nothing else moves
        EXPECT_TRUE((f.*a)->isChecked());
        EXPECT_FALSE((f.*b)->isChecked());
        for (size_t i = 0; i < std::size(all); ++i)
            if (all[i] != a && all[i] != b) {
                EXPECT_EQ((f.*all[i])->isChecked(), before[i]) << (f.*all[i])->objectName().toStdString();
            }
        (f.*a)->click(); // all may be up
        EXPECT_FALSE((f.*a)->isChecked());
    }
    for (Button x : all)
        (f.*x)->setChecked(false);
    f.SpeedButton_WriteSettings->setChecked(true);
    f.SpeedButton_Zero->click();
    EXPECT_TRUE(f.SpeedButton_WriteSettings->isChecked());
    EXPECT_TRUE(f.SpeedButton_Zero->isChecked());
}

} // namespace
