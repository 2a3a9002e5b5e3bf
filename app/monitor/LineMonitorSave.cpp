// The line monitor's copy and save: the selected rows to the clipboard, the
// rows the list shows to a file on a thread of its own.
#include "LineMonitorWindow.h"

#include "MonitorModel.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTableView>
#include <QThread>

#include <algorithm>

namespace {

// The selected rows in the list's order, from the selection's ranges (a
// selection of 100,000 rows is a single range).
std::vector<int> SelectedRows(const QTableView *view)
{
    std::vector<int> rows;
    for (const QItemSelectionRange &range : view->selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

} // namespace

QString TLineMonitorWindow::SelectedText() const
{
    QByteArray text;
    for (int r : SelectedRows(m_view))
        if (m_ring.Has(m_model->NumberAt(r))) // the ring may have moved on since the list's last batch
            text += linemon::TextLine(m_model->NumberAt(r) + 1, m_model->RowAt(r)) + '\n';
    return QString::fromUtf8(text);
}

void TLineMonitorWindow::CopySelection()
{
    SyncNow(); // rows the ring has dropped leave the selection
    // Some 100,000 rows take a moment to format.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::clipboard()->setText(SelectedText());
    QApplication::restoreOverrideCursor();
}

void TLineMonitorWindow::ChooseFile()
{
    if (m_saveThread)
        return;
    const QString suggested =
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("kv508-line-%1.csv").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    const QString csv = tr("CSV (*.csv)"), text = tr("Text (*.txt)");
    QString filter = csv;
    QString path = QFileDialog::getSaveFileName(this, tr("Save the frames the list shows"), suggested,
                                                csv + QStringLiteral(";;") + text + QStringLiteral(";;") + tr("All files (*)"), &filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += filter == text ? QStringLiteral(".txt") : QStringLiteral(".csv");
    SaveTo(path);
}

bool TLineMonitorWindow::SaveTo(const QString &path)
{
    if (m_saveThread)
        return false;
    SyncNow(); // only rows the ring still has
    // A copy of the rows shown, so the ring may move on meanwhile.
    auto rows = std::make_shared<linemon::TNumberedRows>();
    rows->reserve(std::size_t(m_model->rowCount()));
    for (int r = 0; r < m_model->rowCount(); ++r)
        rows->emplace_back(m_model->NumberAt(r) + 1, m_model->RowAt(r));
    m_savePath = path;
    m_saveCancel = std::make_shared<std::atomic<bool>>(false);
    m_saveResult = std::make_shared<linemon::TSaveResult>();
    const linemon::TFormat format = linemon::FormatOf(path);
    m_saveThread = QThread::create([rows, path, format, cancel = m_saveCancel, result = m_saveResult] {
        *result = linemon::Save(path, format, *rows, *cancel);
    });
    connect(m_saveThread, &QThread::finished, this, &TLineMonitorWindow::OnSaveDone);
    setCursor(Qt::BusyCursor);
    m_saveThread->start();
    ShowStatus();
    return true;
}

void TLineMonitorWindow::OnSaveDone()
{
    m_saveThread->wait();
    delete m_saveThread;
    m_saveThread = nullptr;
    unsetCursor();
    const linemon::TSaveResult result = *m_saveResult;
    const QString path = QDir::toNativeSeparators(m_savePath);
    if (result.error == linemon::TSaveError::None) {
        m_lastSave = TLastSave::Saved;
        m_lastSaveRows = result.rows;
        ShowStatus();
        emit Saved(m_savePath, result.rows);
        return;
    }
    const QString message = linemon::SaveErrorText(result, path);
    m_lastSave = TLastSave::Failed;
    ShowStatus();
    emit SaveFailed(message);
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

