// The fake link for Qt tests: its state in Qt types (see FakeLinkOf.h).
#pragma once

#include "FakeLinkOf.h"
#include "MB.h"
#include "TestPeer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

struct FakeLinkState {
    using Bytes = QByteArray;
    static QString FromStd(const std::string &s) { return QString::fromStdString(s); }
    static std::string ToStd(const QString &s) { return s.toStdString(); }

    bool open = false;
    bool failOpen = false;
    QString openError = QStringLiteral("Device or resource busy");
    bool failWrites = false;
    QString port;
    quint32 baud = 0;
    QList<QByteArray> writes; // one entry per WriteBytes call
    QByteArray rx;            // bytes queued for reading
    int opens = 0;
    int closes = 0;
    std::vector<uint32_t> hints; // ExpectChars, in order

    QByteArray Written() const { return JoinWrites(writes); }
};

using FakeLink = TFakeLinkOf<FakeLinkState>;

// Installs a fake-link factory on mb; returns the state shared with every link it makes.
std::shared_ptr<FakeLinkState> UseFakeLink(TMB &mb);
// Delivers bytes to the component's current fake link.
void Deliver(TMB &mb, const QByteArray &bytes);
