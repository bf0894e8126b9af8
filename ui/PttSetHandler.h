// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/PttDevices.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>

class SettingsBook;
struct AppState;
class PttSet;
class QWidget;

// Where the "PTT" dialog finds what the machine offers: by default the system itself, read
// afresh each time the dialog is shown.
struct PttDeviceLists
{
    std::function<QList<PttDevices::SerialName>()> serial = [] {
        return PttDevices::serialByIdNames();
    };
    std::function<QList<PttDevices::Cm108Device>()> cm108 = [] {
        return PttDevices::cm108Devices();
    };
    // hamlib's models come from its module, which the station gives; none by default. When the
    // list is empty, `rigsProblem` may say why.
    std::function<QList<PttDevices::RigModel>()> rigs;
    std::function<QString()> rigsProblem = {};
};

// The handlers of the "PTT" dialog. The dialog is modeless and loaded on demand; each time it is
// shown it is filled from the shared state, with the device lists read afresh. A stored device
// that is not there is listed marked " (not found)" and stays chosen.
//
// Nothing reaches the shared state before "OK": it refuses a CAT connection without a port or
// with a rig model that hamlib does not know, and CM108 keying without a device (saying why in
// the status line, the dialog stays open), else it stores every field, hides the dialog and
// reports applied(); whoever keys then takes the new settings. "Cancel" and the close box change
// nothing.
class PttSetHandler : public QObject
{
    Q_OBJECT
public:
    using Devices = PttDeviceLists;

    PttSetHandler(SettingsBook &settings, QWidget &mainWindow, Devices devices = {});
    ~PttSetHandler() override;

    // Setup > PTT...: shows the dialog, loading it first if it is not loaded, and fills it
    // unless it is already on the screen.
    void Ptt_Click();

    void Form_Load();
    void RadioCombo_Click(int Index);
    void MethodCombo_Click(int Index);
    void TimeoutCheck_Click();
    void OkButton_Click();
    void CancelButton_Click();

    // The keyer's status for the status line (`ready` false: it cannot key), shown now and each
    // time the dialog is shown until the next call.
    void setStatus(const QString &text, bool ready);

    // A second radio's settings (null: one radio): the dialog then shows a radio choice, and
    // refuses a keying that the other radio already uses.
    void setSecondRadio(SettingsBook *second);
    // The radio the dialog shows, and whose settings its OK applies (1 or 2).
    int radio() const { return m_radio; }

    // The dialog while it is loaded, else null.
    PttSet *form() const;

signals:
    // The dialog was shown: the keyer's status is wanted.
    void opened();
    // "OK" stored new PTT settings in the shared state.
    void applied();

private:
    void load();
    void showStatus(const QString &text, bool ready);
    SettingsBook &edited();

    SettingsBook &m_settings;
    SettingsBook *m_second = nullptr;
    int m_radio = 1;
    QWidget &m_mainWindow;
    Devices m_devices;
    QPointer<PttSet> m_dialog;
    QSet<int> m_knownModels; // hamlib's models, as listed when the dialog was filled
    QString m_status;
    bool m_ready = true;
};
