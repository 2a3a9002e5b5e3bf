// Runs the record store on a thread of its own, so a commit that waits for
// the disk never stops the window. Jobs run one at a time in the order given;
// each job's result comes back to the window's thread.
#pragma once

#include "RecordStore.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

class TStoreRunner : public QObject
{
    Q_OBJECT

public:
    explicit TStoreRunner(const QString &path, QObject *parent = nullptr);
    // Lets every job given so far finish (nothing entered is dropped), then ends the thread.
    ~TStoreRunner() override;

    // job(store) on the store's thread; then done(result) on this object's thread.
    template <class R>
    void Run(std::function<R(calib::TRecordStore &)> job, std::function<void(R)> done)
    {
        ++m_pending;
        QMetaObject::invokeMethod(
            m_worker,
            [this, job, done] {
                R result = job(Store());
                QMetaObject::invokeMethod(
                    this, [this, result, done] { Finished([&] { done(result); }); }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    }

    // Jobs given from now on use location (the store there opens at the first).
    void SwitchTo(const QString &location);

    // Jobs given whose results have not come back yet.
    int Pending() const { return m_pending; }
    QString Path() const { return m_path; }

signals:
    // Every job given so far has come back.
    void Idle();

private:
    calib::TRecordStore &Store(); // on the store's thread only
    void Finished(const std::function<void()> &done);

    QString m_path;       // on this object's thread
    QString m_workerPath; // the same, on the store's thread
    QThread m_thread;
    QObject *m_worker = nullptr;
    std::unique_ptr<calib::TRecordStore> m_store; // made, used and destroyed on m_thread
    int m_pending = 0;
};
