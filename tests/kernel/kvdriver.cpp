// Preloaded into the window in the guest (LD_PRELOAD): once the port list is
// filled, presses the button that opens the port chosen in it (the remembered
// one), as a technician would, and reports on
// standard error what a technician would see change: the button's text, the
// "Reconnecting…" label and any dialog that comes up.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSet>
#include <QTimer>

#include <cstdio>

namespace {

void Report(const QString &text)
{
    std::fprintf(stderr, "kvdriver: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

template <typename T> T *Named(const char *name)
{
    for (QWidget *w : QApplication::allWidgets())
        if (w->objectName() == QLatin1String(name))
            if (auto *t = qobject_cast<T *>(w))
                return t;
    return nullptr;
}

// The panel's port list (the one QListWidget of the serial panel).
QListWidget *PortList()
{
    for (QWidget *w : QApplication::allWidgets())
        if (auto *list = qobject_cast<QListWidget *>(w); list && list->parent() &&
                                                         qstrcmp(list->parent()->metaObject()->className(), "TMB") == 0)
            return list;
    return nullptr;
}

// Presses the open button once the first probe has filled the list, as a
// technician would; reports the list with the chosen port marked.
bool OpenWhenListed()
{
    QListWidget *list = PortList();
    auto *open = Named<QAbstractButton>("Button_OpenOrCloceSerialPort");
    if (!list || !open || list->count() == 0 || list->currentRow() < 0)
        return false;
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << (i == list->currentRow() ? QStringLiteral("*") : QString()) + list->item(i)->text();
    Report(QStringLiteral("ports ") + items.join(QLatin1Char(' ')));
    open->click();
    return true;
}

void Start()
{
    auto *look = new QTimer(qApp);
    QObject::connect(look, &QTimer::timeout, qApp, [] {
        static bool opened = false;
        static QString button;
        static int reconnecting = -1;
        static QSet<QWidget *> dialogs;
        if (!opened)
            opened = OpenWhenListed();
        if (auto *open = Named<QAbstractButton>("Button_OpenOrCloceSerialPort"); open && open->text() != button) {
            button = open->text();
            Report(QStringLiteral("button ") + button);
        }
        if (auto *label = Named<QLabel>("Label_Reconnecting"); label && int(label->isVisible()) != reconnecting) {
            reconnecting = label->isVisible();
            Report(QStringLiteral("reconnecting %1").arg(reconnecting));
            if (reconnecting)
                Report(QStringLiteral("label ") + label->text().replace(QLatin1Char('\n'), QLatin1Char(' ')));
        }
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QDialog *>(w);
            if (!dialog || !dialog->isVisible() || dialogs.contains(w))
                continue;
            dialogs.insert(w);
            const auto *box = qobject_cast<QMessageBox *>(w);
            Report(QStringLiteral("dialog ") + w->windowTitle() + QStringLiteral(": ") + (box ? box->text() : QString()));
        }
    });
    look->start(100);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
