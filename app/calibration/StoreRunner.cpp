#include "StoreRunner.h"

TStoreRunner::TStoreRunner(const QString &path, QObject *parent) : QObject(parent), m_path(path), m_workerPath(path)
{
    m_thread.setObjectName(QStringLiteral("calibration records"));
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

TStoreRunner::~TStoreRunner()
{
    // Queued after every job: they all run before the store closes.
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            m_store.reset();
            m_thread.quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
    delete m_worker;
}

calib::TRecordStore &TStoreRunner::Store()
{
    if (!m_store)
        m_store = std::make_unique<calib::TRecordStore>(m_workerPath);
    return *m_store;
}

void TStoreRunner::SwitchTo(const QString &location)
{
    m_path = location;
    // In order after the jobs given so far, which finish on the old store.
    QMetaObject::invokeMethod(
        m_worker,
        [this, location] {
            m_store.reset();
            m_workerPath = location;
        },
        Qt::QueuedConnection);
}

void TStoreRunner::Finished(const std::function<void()> &done)
{
    --m_pending;
    done();
    if (m_pending == 0)
        emit Idle();
}
