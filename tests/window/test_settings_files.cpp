// The window's settings files against the simulator: the file it saves is
// the one kv508ctl backup writes, it loads back through the page's write and
// is verified by reading back, a comparison shows what differs; a bad file is
// refused before anything is sent.
#include "Language.h"
#include "Main.h"
#include "Pty.h"
#include "SettingsFiles.h"
#include "SimProcess.h"
#include "TestPeer.h"
#include "TextFit.h"
#include "Tools.h"

#include "QtWaitHost.h"
#include "SerialLink.h"

#include <QDialog>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Cmd = TForm1::TCommand;

constexpr int kWait = 30000;

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        form = std::make_unique<TForm1>();
        mb = form->MB1;
        mb->setMBRefreshListOnStartup(false);
        UseScratchVirtualPortDir();
        QObject::connect(form.get(), &TForm1::TransactionEnded, form.get(),
                         [this](quint8 command, TMBStatus, const kv508::TInstrumentSnapshot &) { commands.push_back(command); });
        files = form->Tools()->SettingsFiles();
        files->ShowMessages = false;
        ASSERT_TRUE(sim.Start()) << sim.Stderr().toStdString();
        ASSERT_TRUE(dir.isValid());
    }

    void TearDown() override
    {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    bool OpenPort()
    {
        mb->setPort(sim.Path());
        form->Button_OpenOrCloceSerialPort->click();
        const size_t from = commands.size();
        // The opening's poll and settings read.
        return mb->MBPortOpen() && QTest::qWaitFor(
                                       [&] {
                                           return std::count(commands.begin() + static_cast<std::ptrdiff_t>(from), commands.end(),
                                                             int(Cmd::Cmd_ReadSettings)) >= 1 &&
                                                  !form->SpeedButton_ReadSettings->isChecked();
                                       },
                                       kWait);
    }

    void ClosePort()
    {
        form->Button_OpenOrCloceSerialPort->click();
        ASSERT_FALSE(mb->MBPortOpen());
    }

    // Runs kv508ctl on the simulator (the window's port closed meanwhile).
    QString Ctl(const QStringList &args, int *code = nullptr)
    {
        QProcess ctl;
        ctl.start(QStringLiteral(KV508_CTL_PATH), QStringList{QStringLiteral("--port"), sim.Path()} + args);
        EXPECT_TRUE(ctl.waitForFinished(kWait));
        if (code)
            *code = ctl.exitCode();
        return QString::fromUtf8(ctl.readAllStandardError() + ctl.readAllStandardOutput());
    }

    bool Finished() { return QTest::qWaitFor([&] { return files->Running() == TSettingsFiles::None; }, kWait); }

    QJsonObject Json(const QString &file)
    {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        return QJsonDocument::fromJson(f.readAll()).object();
    }

    QString Path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    void Write(const QString &file, const QByteArray &text)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    TSimProcess sim;
    QTemporaryDir dir;
    std::unique_ptr<TForm1> form;
    TMB *mb = nullptr;
    TSettingsFiles *files = nullptr;
    std::vector<int> commands;
};

// Saved by the window and by kv508ctl backup from the same instrument: the
// same JSON value but for "time" (the moment) and "tool" (who wrote it),
// which must differ; compared after the instrument changed, the dialog
// marks the field; loaded back through the page's write, read back and verified.
TEST_F(SettingsFileTest, SavedAsKv508ctlBackupComparedAndLoadedBackVerified)
{
    ASSERT_TRUE(OpenPort());
    const kv508::TSettings original = form->SettingsRead;
    const QString window = Path("window.json"), ctl = Path("ctl.json");
    ASSERT_TRUE(files->StartSave(window));
    EXPECT_NE(QApplication::overrideCursor(), nullptr) << "a busy cursor while it runs";
    ASSERT_TRUE(Finished());
    ASSERT_FALSE(files->LastFailed()) << files->LastMessage().toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    ClosePort();
    int code = -1;
    const QString said = Ctl({QStringLiteral("backup"), ctl}, &code);
    ASSERT_EQ(code, 0) << said.toStdString();
    QJsonObject a = Json(window), b = Json(ctl);
    EXPECT_TRUE(a.value(QStringLiteral("tool")).toString().startsWith(QStringLiteral("kv508 ")));
    EXPECT_TRUE(b.value(QStringLiteral("tool")).toString().startsWith(QStringLiteral("kv508ctl ")));
    EXPECT_EQ(a.value(QStringLiteral("time")).toString().size(), b.value(QStringLiteral("time")).toString().size());
    for (QJsonObject *o : {&a, &b}) {
        o->remove(QStringLiteral("time"));
        o->remove(QStringLiteral("tool"));
    }
    EXPECT_EQ(a, b) << QJsonDocument(a).toJson().toStdString() << QJsonDocument(b).toJson().toStdString();

    // The instrument changed behind the window: the comparison marks it.
    ASSERT_EQ((Ctl({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("4ma=123"), QStringLiteral("averaging=40")}, &code), code), 0);
    ASSERT_TRUE(OpenPort());
    ASSERT_TRUE(files->StartCompare(window));
    ASSERT_TRUE(Finished());
    EXPECT_FALSE(files->LastFailed());
    EXPECT_TRUE(files->LastMessage().startsWith(QStringLiteral("2 of the settings differ"))) << files->LastMessage().toStdString();
    QDialog *dialog = files->ComparisonDialog();
    ASSERT_NE(dialog, nullptr);
    auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("SettingsDifferences"));
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 7);
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("4ma  ≠"));
    EXPECT_EQ(table->item(0, 1)->text(), QString::number(original.iFizFor4mA));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("123"));
    EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("20ma"));
    {
        // Said anew in the other language, the values kept; nothing clips.
        const auto speak = [](Language::TLanguage language) {
            Language::Apply(language);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
            QCoreApplication::processEvents(); // the layouts the new words ask for
        };
        speak(Language::TLanguage::Hungarian);
        EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("Műszer"));
        EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("123"));
        EXPECT_TRUE(dialog->windowTitle().startsWith(QStringLiteral("Beállítások összehasonlítása")));
        QStringList clipped = ClippedTexts(dialog);
        EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
        speak(Language::TLanguage::English);
        EXPECT_EQ(table->horizontalHeaderItem(2)->text(), QStringLiteral("Instrument"));
        clipped = ClippedTexts(dialog);
        EXPECT_TRUE(clipped.isEmpty()) << clipped.join(QLatin1Char('\n')).toStdString();
    }
    if (const QByteArray folder = qgetenv("KV_GUIDE_PICTURES"); !folder.isEmpty()) {
        EXPECT_TRUE(dialog->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/settings-compared.png")));
    }

    // Loaded back: confirmed, written with command 7, read back, verified.
    QString asked;
    files->ConfirmWrite = [&](const QString &differences) {
        asked = differences;
        return true;
    };
    const size_t from = commands.size();
    ASSERT_TRUE(files->StartLoad(window));
    ASSERT_TRUE(Finished());
    EXPECT_FALSE(files->LastFailed()) << files->LastMessage().toStdString();
    EXPECT_TRUE(files->LastMessage().contains(QStringLiteral("verified"))) << files->LastMessage().toStdString();
    EXPECT_TRUE(asked.contains(QStringLiteral("4ma: file %1, instrument 123").arg(original.iFizFor4mA))) << asked.toStdString();
    const std::vector<int> sent(commands.begin() + static_cast<std::ptrdiff_t>(from), commands.end());
    const auto write = std::find(sent.begin(), sent.end(), int(Cmd::Cmd_WriteSettings));
    ASSERT_NE(write, sent.end());
    EXPECT_NE(std::find(write, sent.end(), int(Cmd::Cmd_ReadSettings)), sent.end()) << "read back after the write";
    EXPECT_EQ(form->SettingsRead, original);
    ClosePort();
    EXPECT_EQ((Ctl({QStringLiteral("diff"), window}, &code), code), 0) << "kv508ctl diff finds the instrument as saved";
}

// Files that are no settings file of this tool (or hold what no instrument
// should get) are refused with their cause, and nothing goes to the instrument.
TEST_F(SettingsFileTest, ABadFileIsRefusedWithItsCauseAndNothingIsSent)
{
    ASSERT_TRUE(OpenPort());
    const QString good = Path("good.json");
    ASSERT_TRUE(files->StartSave(good));
    ASSERT_TRUE(Finished());
    QFile in(good);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray text = in.readAll();

    struct TCase {
        const char *name;
        QByteArray content;
        const char *cause;
    };
    QByteArray twice = text;
    twice.replace("\"averaging\":", "\"averaging\": 80, \"averaging\":");
    QByteArray outOfRange = text;
    outOfRange.replace("\"sensor\": ", "\"sensor\": 0, \"x\": ");
    QByteArray noSpan = text;
    noSpan.replace("\"20ma\": ", "\"20ma\": 0, \"y\": ");
    noSpan.replace("\"4ma\": ", "\"4ma\": 0, \"z\": ");
    const TCase cases[] = {
        {"not-json.json", "{\"format\": \"kv508ctl backup 1\", ", "not JSON"},
        {"other.json", "{\"format\": \"something else\", \"settings\": {}}", "not a kv508ctl backup"},
        {"twice.json", twice, "appears twice"},
        {"range.json", outOfRange, "sensor 0 is out of range"},
        {"span.json", noSpan, "the span is zero"},
        {"missing.json", QByteArray(), "there is no such file"},
    };
    for (const TCase &c : cases) {
        const QString file = Path(c.name);
        if (!c.content.isEmpty())
            Write(file, c.content);
        const size_t from = commands.size();
        EXPECT_FALSE(files->StartLoad(file)) << c.name;
        EXPECT_TRUE(files->LastFailed()) << c.name;
        EXPECT_TRUE(files->LastMessage().contains(QString::fromUtf8(c.cause))) << c.name << ": " << files->LastMessage().toStdString();
        EXPECT_EQ(files->Running(), TSettingsFiles::None);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << c.name;
        // Nothing latched, and only polls go out.
        EXPECT_FALSE(form->SpeedButton_WriteSettings->isChecked());
        EXPECT_FALSE(form->SpeedButton_ReadSettings->isChecked());
        ASSERT_TRUE(QTest::qWaitFor([&] { return commands.size() >= from + 3; }, kWait));
        for (size_t i = from; i < commands.size(); ++i)
            EXPECT_EQ(commands[i], int(Cmd::Cmd_Poll)) << c.name;
    }
    // A named pipe is refused unopened: its open would wait for a writer.
    const QString fifo = Path("fifo.json");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(files->StartCompare(fifo));
    EXPECT_TRUE(files->LastMessage().contains(QStringLiteral("not a regular file"))) << files->LastMessage().toStdString();
}

} // namespace
