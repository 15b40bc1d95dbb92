// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

/// SIGTERM, SIGHUP and SIGINT turned into a Qt signal on the event loop: the handler itself may do
/// nothing but write a byte, so the work happens when the loop reads it.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    /// Installs the handlers; one instance per process.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    /// False when the handlers could not be installed (the signals then end the process as usual).
    bool installed() const { return m_installed; }

signals:
    void received();

private:
    bool m_installed = false;
};
