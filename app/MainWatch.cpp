// TForm1's watch over what it shows and whom it talks to: readouts greyed
// while no answer comes, and, after a lost port came back, the instrument
// compared with the one that was connected before anything is written to it.
#include "Main.h"

#include <QMessageBox>
#include <QPushButton>

// The readouts of the moment; the design's texts and flags stay as they are.
QString TForm1::LastAnswerText(const QDateTime &at)
{
    return tr("Not current: no answer since %1 (the port is closed or lost, or the instrument does not answer).")
        .arg(at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void TForm1::SetUpWatch()
{
    for (QLabel *label : {Label_MeasuredValue, Label_OutputValue, Label_ScaleEnd, Label_PressureSensorBridgeDataAveraged, Label_SPS})
        m_readouts.emplace_back(label, label->testAttribute(Qt::WA_SetPalette) ? label->palette() : QPalette());
}

void TForm1::SetReadoutsCurrent(bool current)
{
    // Before the first answer the readouts hold the design's placeholders: nothing stale to mark.
    if (!m_lastAnswerAt.isValid() || current == m_readoutsCurrent) {
        m_readoutsCurrent = current || !m_lastAnswerAt.isValid();
        return;
    }
    m_readoutsCurrent = current;
    for (const auto &[label, designed] : m_readouts) {
        if (current) {
            // Exactly the design's look again.
            label->setPalette(designed);
            label->setToolTip(QString());
            continue;
        }
        QPalette grey = label->palette();
        const QColor dim = grey.color(QPalette::Disabled, QPalette::WindowText);
        grey.setColor(QPalette::Active, QPalette::WindowText, dim);
        grey.setColor(QPalette::Inactive, QPalette::WindowText, dim);
        label->setPalette(grey);
        label->setToolTip(LastAnswerText(m_lastAnswerAt));
    }
}

quint8 TForm1::PollForceFlag() const
{
    // An instrument not yet known to be the one the output was forced on is only read.
    return SpeedButton_PWMForce->isChecked() && !WritesHeld() ? 1 : 0;
}

bool TForm1::MaySend(quint8 command) const
{
    return !WritesHeld() || command == Cmd_ReadSettings;
}

void TForm1::WatchPort(bool open)
{
    if (!open) {
        SetReadoutsCurrent(false);
        // The question was about the port that is gone; a return asks again.
        if (m_identityState == TIdentityState::Asking)
            m_identityState = TIdentityState::Checking;
        if (m_identityQuestion)
            m_identityQuestion->close();
        return;
    }
    // Opened by the reconnect: the same adapter, but is it the same instrument?
    const bool known = m_expected.haveFirmware || m_expected.haveCalibration || m_expected.haveSettings;
    m_identityState = MB1->Reconnecting() && known ? TIdentityState::Checking : TIdentityState::Confirmed;

    if (m_identityState == TIdentityState::Confirmed)
        m_expected = {};
    m_instrument = {};
    m_liveChecked = m_settingsChecked = false;
    m_differences.clear();
}

void TForm1::PortLost()
{
    // What to compare the returning instrument with: the one confirmed last,
    // not one that came back in its place and was never accepted.
    if (m_identityState == TIdentityState::Confirmed)
        m_expected = m_instrument;
}

void TForm1::WatchTransaction(quint8 command, TMBStatus status)
{
    if (command == Cmd_Poll) {
        if (status == TMB::stOK)
            m_lastAnswerAt = QDateTime::currentDateTimeUtc(); // local only when shown: no time-zone look-up a poll
        SetReadoutsCurrent(status == TMB::stOK);
    }
    if (status == TMB::stOK)
        Remember(command);
    if (m_identityState != TIdentityState::Checking)
        return;
    if (command == Cmd_Poll && status == TMB::stOK) {
        const QString now = FormatDateCode(m_instrument.firmware), was = FormatDateCode(m_expected.firmware);
        if (m_expected.haveFirmware && m_instrument.firmware != m_expected.firmware)
            m_differences.push_back([now, was] { return tr("firmware v%1 (was v%2)").arg(now, was); });
        const QString date = FormatDateCode(m_instrument.calibration), before = FormatDateCode(m_expected.calibration);
        if (m_expected.haveCalibration && !m_expected.CalibratedOn(m_instrument.calibration))
            m_differences.push_back([date, before] { return tr("calibration date %1 (was %2)").arg(date, before); });
        m_liveChecked = true;
    } else if (command == Cmd_ReadSettings && (status == TMB::stOK || status == TMB::stSlaveError)) {
        if (m_expected.haveSettings && status == TMB::stSlaveError)
            m_differences.push_back([] { return tr("its settings cannot be read"); });
        else if (m_expected.haveSettings && !(m_instrument.settings == m_expected.settings))
            m_differences.push_back([] { return tr("settings differ"); });
        m_settingsChecked = true;
    }
    CheckIdentity();
}

// What the instrument now holds, as its answers and the acknowledged requests tell.
void TForm1::Remember(quint8 command)
{
    TIdentity &i = m_instrument;
    switch (command) {
    case Cmd_Poll:
        i.haveFirmware = i.haveCalibration = true;
        i.firmware = LiveData.FirmwareDateCode;
        i.calibration = LiveData.CalibrationDateCode;
        i.calibrationToday = 0;
        break;
    case Cmd_ReadSettings:
        i.haveSettings = true;
        i.settings = SettingsRead;
        break;
    case Cmd_WriteSettings: // all seven fields
        i.haveSettings = true;
        i.settings = SettingsToWrite;
        break;
    case Cmd_WriteSettings2: // the first four
        i.settings.iFizFor4mA = SettingsToWrite.iFizFor4mA;
        i.settings.iFizFor20mA = SettingsToWrite.iFizFor20mA;
        i.settings.bErrorCurrentValue = SettingsToWrite.bErrorCurrentValue;
        i.settings.bErrorCurrentMode = SettingsToWrite.bErrorCurrentMode;
        break;
    case Cmd_SetAs0:
    case Cmd_SetAsScaleEnd:
    case Cmd_SetAs4mA:
    case Cmd_SetAs20mA:
        // A point taken dates the calibration today; the next poll tells for sure.
        i.calibrationToday = DateToDateCode();
        break;
    case Cmd_EraseEEPROM: i.haveCalibration = i.haveSettings = false; break;
    default: break;
    }
}

bool TForm1::TIdentity::CalibratedOn(quint32 code) const
{
    return code == calibration || (calibrationToday != 0 && code == calibrationToday);
}

void TForm1::CheckIdentity()
{
    // The settings are read right after the first poll of an opening.
    if (!m_liveChecked || (m_expected.haveSettings && !m_settingsChecked))
        return;
    if (m_differences.empty()) {
        m_identityState = TIdentityState::Confirmed;
        return;
    }
    AskAboutIdentity();
}

void TForm1::AskAboutIdentity()
{
    m_identityState = TIdentityState::Asking;
    auto *box = new QMessageBox(QMessageBox::Warning, Caption(), QString(), QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("IdentityQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    QPushButton *keep = box->addButton(QString(), QMessageBox::AcceptRole);
    QPushButton *close = box->addButton(QString(), QMessageBox::RejectRole);
    box->setDefaultButton(close);
    box->setEscapeButton(close);
    // Closed from its title bar, it is the safe answer: the escape button's.
    connect(box, &QMessageBox::finished, this, [this, box, keep] { AnswerIdentity(box->clickedButton() == keep); });
    m_identityQuestion = box;
    ShowIdentityQuestionTexts();
    box->show();
}

void TForm1::ShowIdentityQuestionTexts()
{
    if (!m_identityQuestion)
        return;
    QStringList differences;
    for (const auto &difference : m_differences)
        differences << difference();
    //: %2 lists what differs, separated by commas
    m_identityQuestion->setText(tr("The instrument on %1 is not the one that was connected: %2.\n\n"
                                   "Until you answer, the window only reads from it: no settings or calibration request is "
                                   "sent and the output is not forced.\n\nContinue with this instrument?")
                                    .arg(MB1->Port(), differences.join(QStringLiteral(", "))));
    for (QAbstractButton *button : m_identityQuestion->buttons())
        button->setText(m_identityQuestion->buttonRole(button) == QMessageBox::AcceptRole ? tr("Continue with this instrument")
                                                                                           : tr("Close the port"));
}

QMessageBox *TForm1::IdentityQuestion() const
{
    return m_identityQuestion.data();
}

void TForm1::AnswerIdentity(bool keep)
{
    if (m_identityState != TIdentityState::Asking)
        return; // the port went meanwhile: its return asks again
    m_identityState = TIdentityState::Confirmed;
    m_expected = {};
    m_identityQuestion = nullptr; // it closes by itself
    if (!keep && MB1->MBPortOpen())
        MB1->MBClosePort();
}
