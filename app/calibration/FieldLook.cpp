#include "FieldLook.h"

#include <QCoreApplication>
#include <QDir>
#include <QPalette>
#include <QVariant>
#include <QWidget>

// A read-only field on the window's colour, as Qt shows a label: white
// invites typing that would be ignored. Click focus only, to copy from it.
void LookReadOnly(QWidget *w, bool readOnly)
{
    if (w->property("lookReadOnly").toBool() == readOnly)
        return;
    if (!w->property("editableFocus").isValid())
        w->setProperty("editableFocus", int(w->focusPolicy()));
    w->setProperty("lookReadOnly", readOnly);
    if (readOnly) {
        QPalette p = w->palette();
        p.setBrush(QPalette::Base, p.brush(QPalette::Window));
        w->setPalette(p);
    } else {
        w->setPalette(QPalette()); // the window's own again, following a change of theme
    }
    w->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::FocusPolicy(w->property("editableFocus").toInt()));
}

// A path in the user's home as a shell would show it: ~/.local/share/kv508/...
QString ShownPath(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(path);
#else
    const QString home = QDir::homePath();
    if (home.size() > 1 && path.startsWith(home + QLatin1Char('/')))
        return QStringLiteral("~") + path.mid(home.size());
    return path;
#endif
}

QString Colour(const QWidget *w, calib::TVerdict v)
{
    const bool dark = w->palette().color(QPalette::Window).lightness() < 128;
    switch (v) {
    case calib::TVerdict::Pass: return dark ? QStringLiteral("#81c784") : QStringLiteral("#2e7d32");
    case calib::TVerdict::Fail: return dark ? QStringLiteral("#ff8a80") : QStringLiteral("#c62828");
    default: return w->palette().color(QPalette::WindowText).name();
    }
}

QString Fixed(double v, int decimals)
{
    QString t = QString::number(v, 'f', decimals);
    if (t.startsWith(QLatin1Char('-')) && t.mid(1).remove(QLatin1Char('0')).remove(QLatin1Char('.')).isEmpty())
        t.remove(0, 1);
    return t;
}

namespace {

const char *const kVerdictWords[] = {
    QT_TRANSLATE_NOOP("Calibration", "not done"), QT_TRANSLATE_NOOP("Calibration", "incomplete"),
    QT_TRANSLATE_NOOP("Calibration", "PASS"),     QT_TRANSLATE_NOOP("Calibration", "FAIL"),
    QT_TRANSLATE_NOOP("Calibration", "pending"),
};
const char *const kPhaseWords[] = {QT_TRANSLATE_NOOP("Calibration", "As-Found"), QT_TRANSLATE_NOOP("Calibration", "As-Left")};

} // namespace

QString VerdictWord(calib::TVerdict v)
{
    return QCoreApplication::translate("Calibration", kVerdictWords[int(v)]);
}

QString PhaseWord(calib::TPhase phase)
{
    return QCoreApplication::translate("Calibration", kPhaseWords[int(phase)]);
}
