// The tool windows beside the design's two pages: the line monitor, the live
// trend, the calibration record, the calibration guide and About, the
// settings files (save, load, compare) and the language. They open from a small "Tools"
// button in an empty corner of the user page, from the window's context menu
// and by keyboard, so nothing the pages place moves. Each window is made on
// first use by its own module and kept until the main window goes.
#pragma once

#include "Language.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <array>

class QAction;
class QLocale;
class QMenu;
class QToolButton;
class TForm1;
class TSettingsFiles;

class TToolWindows : public QObject
{
    Q_OBJECT

public:
    enum TTool { LineMonitor, LiveTrend, CalibrationRecord, CalibrationGuide, About, ToolCount };
    enum TFileAction { SaveSettings, LoadSettings, CompareSettings, FileActionCount };

    explicit TToolWindows(TForm1 &form);

    QAction *Action(TTool tool) const { return m_actions[tool]; }
    QAction *Action(TFileAction action) const { return m_fileActions[action]; }
    TSettingsFiles *SettingsFiles() const { return m_settingsFiles; }
    QToolButton *Button() const { return m_button; }
    // Shows the tool's window (made on first use) and brings it forward.
    QWidget *Open(TTool tool);
    // The tool's window if it has been made, else null.
    QWidget *Window(TTool tool) const { return m_windows[tool]; }

    // The Language submenu (the right-click menu's and the Tools button's),
    // its entries in the order of Language::TLanguage.
    QMenu *LanguageMenu() const { return m_languageMenu; }
    QAction *LanguageAction(Language::TLanguage language) const;
    // Shows every window in that language at once and remembers it in the INI file.
    void ChooseLanguage(Language::TLanguage language);
    // The language to start in: the INI file's choice, else the desktop's.
    static Language::TLanguage StartLanguage(const QLocale &desktop);
    // The menu's and the button's texts in the language now installed.
    void Retranslate();

private:
    TForm1 &m_form;
    QMenu *m_languageMenu = nullptr;
    std::array<QAction *, 2> m_languageActions{};
    std::array<QAction *, ToolCount> m_actions{};
    std::array<QPointer<QWidget>, ToolCount> m_windows{};
    std::array<QAction *, FileActionCount> m_fileActions{};
    TSettingsFiles *m_settingsFiles = nullptr;
    QToolButton *m_button = nullptr;
};

// A text button of a tool window's bar, the same in every tool window.
QToolButton *MakeToolBarButton(const QString &text, const QString &tip, QWidget *parent, bool checkable = false);

// Each tool's maker, in its own module. A maker returns a top-level window
// parented to the form (Qt::Window), or null where the build leaves it out.
QWidget *MakeLineMonitorWindow(TForm1 &form);
QWidget *MakeLiveTrendWindow(TForm1 &form);
QWidget *MakeCalibrationWindow(TForm1 &form);
QWidget *MakeCalibrationGuide(TForm1 &form);
QWidget *MakeAboutWindow(TForm1 &form);
