#include "Tools.h"

#include "Main.h"
#include "SettingsFiles.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QToolButton>

TToolWindows::TToolWindows(TForm1 &form) : QObject(&form), m_form(form)
{
    struct TEntry {
        const char *text;
        QKeySequence keys;
        const char *tip;
    };
    const TEntry entries[ToolCount] = {
        {"Line &monitor…", QKeySequence(Qt::CTRL | Qt::Key_M), "Every frame on the line with its time, meaning and verdict"},
        {"Live &trend…", QKeySequence(Qt::CTRL | Qt::Key_T), "Pressure and output current against time; log them to CSV"},
        {"&Calibration record…", QKeySequence(Qt::CTRL | Qt::Key_K), "As-Found / As-Left check, history per instrument, certificate"},
        {"Calibration &guide…", QKeySequence(Qt::CTRL | Qt::Key_G), "The calibration page's eleven steps as a checklist that follows the instrument"},
        {"&About…", QKeySequence(Qt::Key_F1), "Version and licence"},
    };
    auto *menu = new QMenu(&form);
    for (int i = 0; i < ToolCount; ++i) {
        auto *action = new QAction(QString::fromUtf8(entries[i].text), &form);
        action->setShortcut(entries[i].keys);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(QString::fromUtf8(entries[i].tip) + QStringLiteral(" (") +
                           entries[i].keys.toString(QKeySequence::NativeText) + QLatin1Char(')'));
        action->setStatusTip(action->toolTip());
        connect(action, &QAction::triggered, this, [this, i] { Open(TTool(i)); });
        form.addAction(action); // the shortcut works on both pages
        menu->addAction(action);
        m_actions[i] = action;
    }
    // The settings files of kv508ctl backup / restore / diff.
    menu->addSeparator();
    m_settingsFiles = new TSettingsFiles(form);
    const std::pair<const char *, void (TSettingsFiles::*)()> files[FileActionCount] = {
        {"&Save settings to file…", &TSettingsFiles::AskAndSave},
        {"&Load settings from file…", &TSettingsFiles::AskAndLoad},
        {"Com&pare settings with file…", &TSettingsFiles::AskAndCompare},
    };
    for (int i = 0; i < FileActionCount; ++i) {
        auto *action = new QAction(QString::fromUtf8(files[i].first), &form);
        connect(action, &QAction::triggered, m_settingsFiles, files[i].second);
        form.addAction(action);
        menu->addAction(action);
        m_fileActions[i] = action;
    }
    menu->setToolTipsVisible(true);
    // Right-click anywhere on the window that has no menu of its own.
    form.setContextMenuPolicy(Qt::ActionsContextMenu);

    // Below the port button, where the user page is empty.
    m_button = new QToolButton(form.TabSheet1);
    m_button->setObjectName(QStringLiteral("ToolButton_Tools"));
    m_button->setText(QStringLiteral("Tools"));
    m_button->setToolTip(QStringLiteral("Line monitor (Ctrl+M), live trend (Ctrl+T), calibration record (Ctrl+K), calibration "
                                        "guide (Ctrl+G), About (F1), settings files; also on the window's right-click menu"));
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setMenu(menu);
    m_button->setGeometry(8, 224, 161, 23);
}

QWidget *TToolWindows::Open(TTool tool)
{
    QWidget *window = m_windows[tool];
    if (!window) {
        switch (tool) {
        case LineMonitor: window = MakeLineMonitorWindow(m_form); break;
        case LiveTrend: window = MakeLiveTrendWindow(m_form); break;
        case CalibrationRecord: window = MakeCalibrationWindow(m_form); break;
        case CalibrationGuide: window = MakeCalibrationGuide(m_form); break;
        case About: window = MakeAboutWindow(m_form); break;
        case ToolCount: break;
        }
        if (!window) {
            QMessageBox::information(&m_form, m_actions[tool]->text().remove(QLatin1Char('&')).remove(QStringLiteral("…")),
                                     QStringLiteral("This build of the tool does not include this window."));
            return nullptr;
        }
        m_windows[tool] = window;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QToolButton *MakeToolBarButton(const QString &text, const QString &tip, QWidget *parent, bool checkable)
{
    auto *b = new QToolButton(parent);
    b->setText(text);
    b->setToolTip(tip);
    b->setCheckable(checkable);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(52);
    return b;
}
