#include "SettingsFiles.h"

#include "Main.h"

#include <kv508/Version.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>

namespace {

constexpr qint64 MaxFileBytes = 1 << 20; // a settings file is a few hundred bytes
QString Filter()
{
    return QCoreApplication::translate("TSettingsFiles", "Settings files (*.json);;All files (*)");
}

// Now as 2024-05-01T12:34:56.789+02:00, as kv508ctl writes it.
QString IsoNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// line: "%1: file %2, instrument %3", the key's name, the value wanted and the one found.
QString DifferenceLines(const std::vector<kv508::TDifference> &diff, const QString &line)
{
    QStringList lines;
    for (const kv508::TDifference &d : diff)
        lines << line.arg(QString::fromUtf8(kv508::KeyName(d.key)), QString::fromStdString(d.wanted), QString::fromStdString(d.actual));
    return lines.join(QLatin1Char('\n'));
}

// The file's settings beside the instrument's, the differing ones marked; it
// says itself anew in the language chosen while it is open.
class TComparisonDialog : public QDialog
{
public:
    TComparisonDialog(const kv508::TBackup &file, const kv508::TSettings &instrument, const QString &shown, QWidget *parent)
        : QDialog(parent), m_file(file), m_instrument(instrument), m_shown(shown)
    {
        setObjectName(QStringLiteral("SettingsComparison"));
        setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(this);
        m_summary = new QLabel(this);
        m_summary->setWordWrap(true);
        layout->addWidget(m_summary);
        m_table = new QTableWidget(7, 3, this);
        m_table->setObjectName(QStringLiteral("SettingsDifferences"));
        m_table->verticalHeader()->hide();
        m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        int row = 0;
        for (kv508::TKey k : kv508::AllKeys) {
            const bool differs = kv508::FieldOf(file.settings, k) != kv508::FieldOf(instrument, k);
            const QString cells[] = {QString::fromUtf8(kv508::KeyName(k)) + (differs ? QStringLiteral("  ≠") : QString()),
                                     QString::fromStdString(kv508::ShowField(file.settings, k)),
                                     QString::fromStdString(kv508::ShowField(instrument, k))};
            for (int c = 0; c < 3; ++c) {
                auto *item = new QTableWidgetItem(cells[c]);
                QFont font = item->font();
                font.setBold(differs);
                item->setFont(font);
                m_table->setItem(row, c, item);
            }
            ++row;
        }
        m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        layout->addWidget(m_table);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
        layout->addWidget(buttons);
        Retranslate();
        resize(420, 330);
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::LanguageChange && m_table)
            Retranslate();
        QDialog::changeEvent(event);
    }

private:
    static QString Tr(const char *text) { return QCoreApplication::translate("TSettingsFiles", text); }

    void Retranslate()
    {
        setWindowTitle(Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "Settings compared with file – %1")).arg(TForm1::Caption()));
        const size_t n = kv508::Differences(m_file.settings, m_instrument).size();
        const QString firmware = Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "firmware v%1")).arg(TForm1::FormatDateCode(m_file.who.firmware));
        m_summary->setText(Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "%1\nsaved %2 (%3)\n%4"))
                               .arg(m_shown, QString::fromStdString(m_file.time), firmware,
                                    n == 0 ? Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "The instrument holds the file's settings."))
                                           : Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "%1 of 7 settings differ (marked).")).arg(n)));
        m_table->setHorizontalHeaderLabels({Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "Setting")),
                                            Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "File")),
                                            Tr(QT_TRANSLATE_NOOP("TSettingsFiles", "Instrument"))});
    }

    const kv508::TBackup m_file;
    const kv508::TSettings m_instrument;
    const QString m_shown;
    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
};

QString StartFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs;
}

} // namespace

TSettingsFiles::TSettingsFiles(TForm1 &form) : QObject(&form), m_form(form)
{
    connect(&form, &TForm1::TransactionEnded, this, &TSettingsFiles::Transaction);
    connect(&form, &TForm1::PortOpenedOrClosed, this, &TSettingsFiles::PortChanged);
}

TSettingsFiles::~TSettingsFiles()
{
    if (m_operation != None)
        QApplication::restoreOverrideCursor();
}

QString TSettingsFiles::Shown() const
{
    return QString::fromStdString(kv508::ShownName(QDir::toNativeSeparators(m_file).toStdString()));
}

void TSettingsFiles::AskAndSave()
{
    const QString suggested = QDir(StartFolder()).filePath(QStringLiteral("kv508-settings.json"));
    const QString file = QFileDialog::getSaveFileName(&m_form, tr("Save settings to file"), suggested, Filter());
    if (!file.isEmpty())
        StartSave(file);
}

void TSettingsFiles::AskAndLoad()
{
    const QString file = QFileDialog::getOpenFileName(&m_form, tr("Load settings from file"), StartFolder(), Filter());
    if (!file.isEmpty())
        StartLoad(file);
}

void TSettingsFiles::AskAndCompare()
{
    const QString file = QFileDialog::getOpenFileName(&m_form, tr("Compare settings with file"), StartFolder(), Filter());
    if (!file.isEmpty())
        StartCompare(file);
}

bool TSettingsFiles::StartSave(const QString &file)
{
    return Begin(Save, file);
}

bool TSettingsFiles::StartLoad(const QString &file)
{
    return Begin(Load, file);
}

bool TSettingsFiles::StartCompare(const QString &file)
{
    return Begin(Compare, file);
}

bool TSettingsFiles::Begin(TOperation op, const QString &file)
{
    if (m_operation != None) {
        Say(false, tr("Another settings file operation is still running: wait for it to end, then try again."));
        return false;
    }
    m_file = file;
    m_backup.reset();
    auto refuse = [&](const QString &why) {
        m_operation = op; // End() reports for it
        QApplication::setOverrideCursor(Qt::BusyCursor);
        End(false, why);
        return false;
    };
    if (!m_form.MB1->MBPortOpen())
        return refuse(tr("The port is closed: open it with “%1”, then try again.").arg(m_form.Button_OpenOrCloceSerialPort->text()));
    const QFileInfo info(file);
    if (op == Save) {
        if (info.exists() && !info.isFile())
            return refuse(tr("Cannot write %1: it is not a regular file. Choose a file name.").arg(Shown()));
    } else {
        // Looked at before it is opened: the open of a FIFO would never return.
        if (!info.exists())
            return refuse(tr("Cannot read %1: there is no such file.").arg(Shown()));
        if (!info.isFile())
            return refuse(tr("Cannot read %1: it is not a regular file. Choose a settings file.").arg(Shown()));
        if (info.size() > MaxFileBytes)
            return refuse(tr("%1 is larger than 1 MiB, so it is not a settings file of this tool; nothing was "
                                         "written to the instrument.")
                              .arg(Shown()));
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return refuse(tr("Cannot read %1: %2. Check the file's permissions.").arg(Shown(), in.errorString()));
        const QByteArray text = in.read(MaxFileBytes + 1);
        try {
            m_backup = kv508::ParseBackup(std::string_view(text.constData(), static_cast<size_t>(text.size())));
        } catch (const std::invalid_argument &e) {
            return refuse(tr("%1 is refused: %2. Nothing was written to the instrument; choose a file saved by "
                                         "this window or by kv508ctl backup.")
                              .arg(Shown(), QString::fromUtf8(e.what())));
        }
        const kv508::TSettings &s = m_backup->settings;
        if (op == Load) {
            for (kv508::TKey k : kv508::AllKeys)
                if (!kv508::InWindowRange(s, k))
                    return refuse(tr("%1 is refused: %2 %3 is out of range (the instrument had no valid settings "
                                                 "when it was saved). Nothing was written.")
                                      .arg(Shown(), QString::fromUtf8(kv508::KeyName(k)), QString::fromStdString(kv508::ShowField(s, k))));
            if (kv508::SpanFault(s) != kv508::TSpanFault::None)
                return refuse(tr("%1 is refused: %2. Nothing was written (kv508ctl restore --force writes an "
                                             "inverted span, for an output meant to act in reverse).")
                                  .arg(Shown(), QString::fromStdString(kv508::SpanFaultText(s))));
        }
    }
    m_operation = op;
    m_phase = TPhase::Reading;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    // The window's own read, served after the next poll.
    m_form.SpeedButton_ReadSettings->setChecked(true);
    return true;
}

void TSettingsFiles::Transaction(quint8 command, TMBStatus status, const kv508::TInstrumentSnapshot &instrument)
{
    if (m_operation == None || status != TMB::stOK)
        return; // a failed request stays latched: the window sends it again
    switch (m_phase) {
    case TPhase::Reading:
        if (command == kv508::Cmd_ReadSettings)
            SettingsRead(instrument);
        break;
    case TPhase::Asking: break; // the technician decides
    case TPhase::Writing:
        if (command == kv508::Cmd_WriteSettings)
            m_phase = TPhase::Verifying; // the window reads back after its write
        break;
    case TPhase::Verifying:
        if (command == kv508::Cmd_ReadSettings) {
            const std::vector<kv508::TDifference> diff = kv508::Differences(m_backup->settings, instrument.settings);
            if (diff.empty())
                End(true, tr("Loaded the settings of %1 into the instrument and verified them by reading back.").arg(Shown()));
            else
                End(false, tr("The instrument holds other values than were written:\n%1\nCheck the instrument and load "
                                          "the file again.")
                               .arg(DifferenceLines(diff, tr("%1: written %2, read back %3"))));
        }
        break;
    }
}

void TSettingsFiles::PortChanged(bool open)
{
    if (open || m_operation == None)
        return;
    if (m_operation == Load && m_phase == TPhase::Asking) {
        End(false, tr("The port closed while the load waited for your answer: nothing was written. Open the port "
                                  "and load %1 again.")
                       .arg(Shown()));
        return;
    }
    if (m_operation == Load && m_phase != TPhase::Reading) {
        // Not sent yet, it must not go out to whatever instrument the port opens on next.
        const bool sent = m_phase == TPhase::Verifying || !m_form.SpeedButton_WriteSettings->isChecked();
        m_form.SpeedButton_WriteSettings->setChecked(false);
        End(false, sent ? tr("The port closed before the load was verified: the settings may or may not have been "
                                         "stored. Open the port and compare with %1, or load it again.")
                                .arg(Shown())
                        : tr("The port closed before the settings of %1 were written: nothing was written. Open "
                                         "the port and load it again.")
                              .arg(Shown()));
        return;
    }
    End(false, m_operation == Save   ? tr("The port closed before the instrument's settings were read: nothing was saved. "
                                          "Open the port and try again.")
               : m_operation == Load ? tr("The port closed before the instrument's settings were read: nothing was written. "
                                          "Open the port and try again.")
                                     : tr("The port closed before the instrument's settings were read: nothing was compared. "
                                          "Open the port and try again."));
}

void TSettingsFiles::SettingsRead(const kv508::TInstrumentSnapshot &instrument)
{
    if (m_operation == Save) {
        WriteToFile(instrument);
        return;
    }
    if (m_operation == Compare) {
        ShowComparison(instrument.settings);
        const size_t n = kv508::Differences(m_backup->settings, instrument.settings).size();
        End(true, n == 0 ? tr("The instrument holds the settings of %1: no differences.").arg(Shown())
                         : tr("%1 of the settings differ from %2.").arg(n).arg(Shown()));
        return;
    }
    const std::vector<kv508::TDifference> diff = kv508::Differences(m_backup->settings, instrument.settings);
    if (diff.empty()) {
        End(true, tr("The instrument already holds the settings of %1: nothing written.").arg(Shown()));
        return;
    }
    QString text = DifferenceLines(diff, tr("%1: file %2, instrument %3"));
    const uint32_t firmware = m_backup->who.firmware;
    if (firmware != 0 && firmware != instrument.live.FirmwareDateCode)
        text += QStringLiteral("\n\n") + tr("The file comes from firmware %1, this instrument runs %2.")
                    .arg(TForm1::FormatDateCode(firmware), TForm1::FormatDateCode(instrument.live.FirmwareDateCode));
    // Asked outside the transaction's end, and without a modal loop: the chain
    // keeps polling while the question is open.
    m_phase = TPhase::Asking;
    if (ConfirmWrite) {
        QTimer::singleShot(0, this, [this, text] { Answer(ConfirmWrite(text)); });
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Question, tr("Load settings from file"),
                                tr("Write these settings of %1 to the instrument?\n\n%2").arg(Shown(), text),
                                QMessageBox::Yes | QMessageBox::No, &m_form);
    box->setObjectName(QStringLiteral("SettingsLoadQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    connect(box, &QMessageBox::finished, this, [this, box] {
        Answer(box->clickedButton() == box->button(QMessageBox::Yes));
    });
    m_question = box;
    box->show();
}

void TSettingsFiles::Answer(bool write)
{
    if (m_operation != Load || m_phase != TPhase::Asking)
        return; // the port closed while the question was open
    m_question = nullptr;
    if (!write) {
        End(true, tr("Not loaded: nothing was written to the instrument."));
        return;
    }
    WriteThroughPage();
}

void TSettingsFiles::WriteThroughPage()
{
    // The page's controls take the file's values and its write button sends them,
    // as the technician's own entries would be.
    const kv508::TSettings &s = m_backup->settings;
    m_form.Edit_iFizFor4mA->SetText(QString::number(s.iFizFor4mA));
    m_form.Edit_iFizFor20mA->SetText(QString::number(s.iFizFor20mA));
    m_form.RadioGroup_ErrorCurrentValue->setItemIndex(s.bErrorCurrentValue ? 1 : 0);
    m_form.RadioGroup_ErrorCurrentMode->setItemIndex(s.bErrorCurrentMode ? 1 : 0);
    m_form.RadioGroup_Input->setItemIndex(s.InputCode);
    m_form.RadioGroup_Sensor->setItemIndex(static_cast<int>(s.SensorCode) - 1);
    m_form.Edit_Averaging->SetText(QString::number(s.Averaging));
    if (m_form.SpeedButton_WriteSettings->isChecked())
        m_form.CollectSettings();
    else
        m_form.SpeedButton_WriteSettings->click();
    if (!m_form.SpeedButton_WriteSettings->isChecked() || !(m_form.SettingsToWrite == s)) {
        m_form.SpeedButton_WriteSettings->setChecked(false);
        End(false, tr("The page could not take the settings of %1 as they are: nothing was written.").arg(Shown()));
        return;
    }
    m_phase = TPhase::Writing;
}

void TSettingsFiles::WriteToFile(const kv508::TInstrumentSnapshot &instrument)
{
    kv508::TBackupIdentity who;
    who.firmware = instrument.live.FirmwareDateCode;
    who.calibrationDate = instrument.live.CalibrationDateCode;
    who.decimals = instrument.live.Decimals;
    who.scaleEnd = instrument.live.ScaleEnd;
    const std::string text = kv508::BackupText(who, instrument.settings, IsoNow().toStdString(), "kv508 " KV508_VERSION);
    QSaveFile out(m_file); // a new file beside it, renamed over it: a failure leaves the old one
    if (!out.open(QIODevice::WriteOnly) || out.write(text.data(), static_cast<qint64>(text.size())) != qint64(text.size()) ||
        !out.commit()) {
        End(false, tr("Cannot write %1: %2. Check the folder exists and is writable.").arg(Shown(), out.errorString()));
        return;
    }
    QString message = tr("The instrument's settings were saved to %1.").arg(Shown());
    for (kv508::TKey k : kv508::AllKeys)
        if (!kv508::InWindowRange(instrument.settings, k)) {
            message += tr(" The instrument holds no valid settings (%1 %2; erased?): loading this file will be refused.")
                           .arg(QString::fromUtf8(kv508::KeyName(k)), QString::fromStdString(kv508::ShowField(instrument.settings, k)));
            break;
        }
    End(true, message);
}

void TSettingsFiles::ShowComparison(const kv508::TSettings &instrument)
{
    if (m_comparison)
        m_comparison->close();
    auto *dialog = new TComparisonDialog(*m_backup, instrument, Shown(), &m_form);
    m_comparison = dialog;
    dialog->show();
}

void TSettingsFiles::End(bool ok, const QString &message)
{
    if (m_operation != None)
        QApplication::restoreOverrideCursor();
    m_operation = None;
    if (m_question) // a load the port closed under: nothing left to answer
        m_question->close();
    m_question = nullptr;
    Say(ok, message);
}

void TSettingsFiles::Say(bool ok, const QString &message)
{
    m_message = message;
    m_failed = !ok;
    if (ShowMessages) {
        auto *box = new QMessageBox(ok ? QMessageBox::Information : QMessageBox::Warning, tr("Settings file"), message,
                                    QMessageBox::Ok, &m_form);
        box->setObjectName(QStringLiteral("SettingsFileMessage"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    }
    emit Finished(ok, message);
}
