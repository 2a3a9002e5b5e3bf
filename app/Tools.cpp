#include "Tools.h"

#include "Main.h"
#include "SettingsFiles.h"

#include <QAction>
#include <QActionGroup>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QToolButton>


namespace {

struct TToolEntry {
    const char *text;
    QKeySequence keys;
    const char *tip;
};

// The texts are translated where they are shown (Retranslate).
const TToolEntry kTools[TToolWindows::ToolCount] = {
    {QT_TRANSLATE_NOOP("TToolWindows", "Line &monitor…"), QKeySequence(Qt::CTRL | Qt::Key_M),
     QT_TRANSLATE_NOOP("TToolWindows", "Every frame on the line with its time, meaning and verdict")},
    {QT_TRANSLATE_NOOP("TToolWindows", "Live &trend…"), QKeySequence(Qt::CTRL | Qt::Key_T),
     QT_TRANSLATE_NOOP("TToolWindows", "Pressure and output current against time; log them to CSV")},
    {QT_TRANSLATE_NOOP("TToolWindows", "&Calibration record…"), QKeySequence(Qt::CTRL | Qt::Key_K),
     QT_TRANSLATE_NOOP("TToolWindows", "As-Found / As-Left check, history per instrument, certificate")},
    {QT_TRANSLATE_NOOP("TToolWindows", "Calibration &guide…"), QKeySequence(Qt::CTRL | Qt::Key_G),
     QT_TRANSLATE_NOOP("TToolWindows", "The calibration page's eleven steps as a checklist that follows the instrument")},
    {QT_TRANSLATE_NOOP("TToolWindows", "&About…"), QKeySequence(Qt::Key_F1),
     QT_TRANSLATE_NOOP("TToolWindows", "Version and licence")},
};

const char *const kFileTexts[TToolWindows::FileActionCount] = {
    QT_TRANSLATE_NOOP("TToolWindows", "&Save settings to file…"),
    QT_TRANSLATE_NOOP("TToolWindows", "&Load settings from file…"),
    QT_TRANSLATE_NOOP("TToolWindows", "Com&pare settings with file…"),
};

const QString kLanguageKey = QStringLiteral("ui/language");

} // namespace

TToolWindows::TToolWindows(TForm1 &form) : QObject(&form), m_form(form)
{
    auto *menu = new QMenu(&form);
    for (int i = 0; i < ToolCount; ++i) {
        auto *action = new QAction(&form);
        action->setShortcut(kTools[i].keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, i] { Open(TTool(i)); });
        form.addAction(action); // the shortcut works on both pages
        menu->addAction(action);
        m_actions[i] = action;
    }
    // The settings files of kv508ctl backup / restore / diff.
    menu->addSeparator();
    m_settingsFiles = new TSettingsFiles(form);
    void (TSettingsFiles::*const files[FileActionCount])() = {&TSettingsFiles::AskAndSave, &TSettingsFiles::AskAndLoad,
                                                                &TSettingsFiles::AskAndCompare};
    for (int i = 0; i < FileActionCount; ++i) {
        auto *action = new QAction(&form);
        connect(action, &QAction::triggered, m_settingsFiles, files[i]);
        form.addAction(action);
        menu->addAction(action);
        m_fileActions[i] = action;
    }
    // Each language under its own name, so it is found whichever is shown.
    menu->addSeparator();
    m_languageMenu = new QMenu(&form);
    m_languageMenu->setObjectName(QStringLiteral("Menu_Language"));
    auto *group = new QActionGroup(m_languageMenu);
    for (const Language::TLanguage language : {Language::TLanguage::Hungarian, Language::TLanguage::English}) {
        QAction *action = m_languageMenu->addAction(Language::NativeName(language));
        action->setCheckable(true);
        action->setData(Language::Code(language));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, language] { ChooseLanguage(language); });
        m_languageActions[static_cast<size_t>(language)] = action;
    }
    menu->addMenu(m_languageMenu);
    form.addAction(m_languageMenu->menuAction());
    menu->setToolTipsVisible(true);
    // Right-click anywhere on the window that has no menu of its own.
    form.setContextMenuPolicy(Qt::ActionsContextMenu);

    // Below the port button, where the user page is empty.
    m_button = new QToolButton(form.TabSheet1);
    m_button->setObjectName(QStringLiteral("ToolButton_Tools"));
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setMenu(menu);
    m_button->setGeometry(8, 224, 161, 23);
    Retranslate();
}

void TToolWindows::Retranslate()
{
    for (int i = 0; i < ToolCount; ++i) {
        QAction *action = m_actions[i];
        action->setText(tr(kTools[i].text));
        action->setToolTip(
            QStringLiteral("%1 (%2)").arg(tr(kTools[i].tip), kTools[i].keys.toString(QKeySequence::NativeText)));
        action->setStatusTip(action->toolTip());
    }
    for (int i = 0; i < FileActionCount; ++i)
        m_fileActions[i]->setText(tr(kFileTexts[i]));
    m_languageMenu->setTitle(tr("&Language"));
    for (QAction *action : m_languageActions)
        action->setChecked(action == LanguageAction(Language::Current()));
    m_button->setText(tr("Tools"));
    m_button->setToolTip(tr("Line monitor (Ctrl+M), live trend (Ctrl+T), calibration record (Ctrl+K), calibration "
                            "guide (Ctrl+G), About (F1), settings files, language; also on the window's right-click menu"));
}

QAction *TToolWindows::LanguageAction(Language::TLanguage language) const
{
    return m_languageActions[static_cast<size_t>(language)];
}

void TToolWindows::ChooseLanguage(Language::TLanguage language)
{
    // Every open window follows through the LanguageChange Qt sends it.
    if (language != Language::Current())
        Language::Apply(language);
    LanguageAction(language)->setChecked(true);
    // Remembered beside the port, under the same rules: never into a file that is no regular one.
    if (TForm1::SettingsRefusal().isEmpty()) {
        QSettings settings = TForm1::PortSettings();
        settings.setValue(kLanguageKey, Language::Code(language));
    }
}

Language::TLanguage TToolWindows::StartLanguage(const QLocale &desktop)
{
    if (TForm1::SettingsRefusal().isEmpty()) {
        const auto stored = Language::FromCode(TForm1::PortSettings().value(kLanguageKey).toString());
        if (stored)
            return *stored;
    }
    return Language::FromLocale(desktop);
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
                                     tr("This build of the tool does not include this window."));
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
