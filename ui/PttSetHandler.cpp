// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PttSetHandler.h"

#include "settings/PttSettings.h"
#include "station/AppState.h"
#include "station/SettingsBook.h"
#include "ui/PttSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

namespace {

constexpr int Speeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

template<typename T>
QList<T> listOf(const std::function<QList<T>()> &source)
{
    return source ? source() : QList<T>{};
}

void addEntry(QComboBox *combo, const QString &caption, const QVariant &value,
              const QString &tip = {})
{
    combo->addItem(caption, value);
    if (!tip.isEmpty())
        combo->setItemData(combo->count() - 1, tip, Qt::ToolTipRole);
}

// A stored device path that no entry lists: shown as it is, marked when it is not there at all.
void addStoredPath(QComboBox *combo, const QString &path)
{
    const QString caption
        = QFileInfo::exists(path) ? path : PttSetHandler::tr("%1 (not found)").arg(path);
    addEntry(combo, caption, path, path);
}

// Selects the entry holding `value`; -1 (an empty field) when none does.
void select(QComboBox *combo, const QVariant &value)
{
    combo->setCurrentIndex(combo->findData(value));
    if (combo->currentIndex() < 0 && combo->isEditable())
        combo->setEditText(QString());
}

// What an editable list holds: the value of the entry whose caption it shows, else the text the
// operator typed.
QVariant chosen(const QComboBox *combo)
{
    const QString text = combo->currentText();
    const int index = combo->findText(text);
    if (index >= 0)
        return combo->itemData(index);
    return text.trimmed();
}

// A rig model typed rather than picked: its number, alone or in parentheses at the end; 0 for
// none.
int typedModel(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^(?:.*\\()?\\s*(\\d{1,9})\\s*\\)?$"));
    const QRegularExpressionMatch match = number.match(text.trimmed());
    if (!match.hasMatch())
        return 0;
    const int model = match.captured(1).toInt();
    return model >= PttSettings::RigModelMin && model <= PttSettings::RigModelMax ? model : 0;
}

void fillSerial(QComboBox *combo, const QList<PttDevices::SerialName> &names, const QString &stored)
{
    combo->clear();
    addEntry(combo, PttSetHandler::tr("COM port of the COM dialog"), QString(),
             PttSetHandler::tr("The port number chosen in Setup > Com > Parameters"));
    for (const PttDevices::SerialName &name : names) {
        addEntry(combo, QStringLiteral("%1 (%2)").arg(QFileInfo(name.path).fileName(), name.device),
                 name.path, name.path);
    }
    if (!stored.isEmpty() && combo->findData(stored) < 0)
        addStoredPath(combo, stored);
    select(combo, stored);
}

void fillRigs(QComboBox *combo, QList<PttDevices::RigModel> rigs, int stored)
{
    combo->clear();
    std::stable_sort(rigs.begin(), rigs.end(), [](const auto &a, const auto &b) {
        const int byMaker = QString::compare(a.manufacturer, b.manufacturer, Qt::CaseInsensitive);
        if (byMaker != 0)
            return byMaker < 0;
        return QString::compare(a.model, b.model, Qt::CaseInsensitive) < 0;
    });
    for (const PttDevices::RigModel &rig : rigs) {
        addEntry(combo,
                 QStringLiteral("%1 %2 (%3)").arg(rig.manufacturer, rig.model).arg(rig.number),
                 rig.number);
    }
    if (combo->findData(stored) < 0)
        addEntry(combo, PttSetHandler::tr("Model %1 (not found)").arg(stored), stored);
    select(combo, stored);
}

void fillSpeeds(QComboBox *combo, int stored)
{
    combo->clear();
    addEntry(combo, PttSetHandler::tr("Rig's default"), 0);
    for (int speed : Speeds)
        addEntry(combo, QString::number(speed), speed);
    if (combo->findData(stored) < 0)
        addEntry(combo, QString::number(stored), stored);
    select(combo, stored);
}

void fillCm108(QComboBox *combo, const QList<PttDevices::Cm108Device> &devices,
               const QString &stored)
{
    combo->clear();
    for (const PttDevices::Cm108Device &device : devices) {
        const QString name = device.name.isEmpty() ? QStringLiteral("CM108") : device.name;
        addEntry(combo, QStringLiteral("%1 (%2)").arg(name, device.path), device.path,
                 QStringLiteral("%1, USB %2:%3")
                     .arg(device.path)
                     .arg(device.vendor, 4, 16, QLatin1Char('0'))
                     .arg(device.product, 4, 16, QLatin1Char('0')));
    }
    if (!stored.isEmpty() && combo->findData(stored) < 0)
        addStoredPath(combo, stored);
    select(combo, stored);
}

} // namespace

PttSetHandler::PttSetHandler(SettingsBook &settings, QWidget &mainWindow, Devices devices)
    : m_settings(settings), m_mainWindow(mainWindow), m_devices(std::move(devices))
{ }

PttSetHandler::~PttSetHandler()
{
    delete m_dialog;
}

PttSet *PttSetHandler::form() const
{
    return m_dialog;
}

void PttSetHandler::Ptt_Click()
{
    if (!m_dialog)
        load();
    if (!m_dialog->isVisible())
        Form_Load();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    emit opened();
}

void PttSetHandler::load()
{
    m_dialog = new PttSet(&m_mainWindow);
    PttSet *dialog = m_dialog;
    connect(dialog, &PttSet::RadioCombo_Click, this, &PttSetHandler::RadioCombo_Click);
    connect(dialog, &PttSet::MethodCombo_Click, this, &PttSetHandler::MethodCombo_Click);
    connect(dialog, &PttSet::TimeoutCheck_Click, this, &PttSetHandler::TimeoutCheck_Click);
    connect(dialog, &PttSet::OkButton_Click, this, &PttSetHandler::OkButton_Click);
    connect(dialog, &PttSet::CancelButton_Click, this, &PttSetHandler::CancelButton_Click);
    connect(dialog, &PttSet::Form_Unload, this, [this, dialog] {
        if (m_dialog == dialog)
            m_dialog = nullptr;
    });
}

void PttSetHandler::Form_Load()
{
    PttSet &dialog = *m_dialog;
    const AppState &s = edited().values();
    dialog.RadioLabel()->setVisible(m_second);
    dialog.RadioCombo()->setVisible(m_second);
    dialog.RadioCombo()->setCurrentIndex(m_radio - 1);
    {
        const QSignalBlocker blocker(dialog.MethodCombo());
        dialog.MethodCombo()->setCurrentIndex(int(s.Ptt.PttMethod));
    }
    fillSerial(dialog.SerialCombo(), listOf(m_devices.serial), s.Ptt.SerialDevice);
    const QList<PttDevices::RigModel> rigs = listOf(m_devices.rigs);
    m_knownModels.clear();
    for (const PttDevices::RigModel &rig : rigs)
        m_knownModels.insert(rig.number);
    fillRigs(dialog.RigModelCombo(), rigs, s.Ptt.RigModel);
    dialog.RigPortEdit()->setText(s.Ptt.RigPort);
    fillSpeeds(dialog.RigSpeedCombo(), s.Ptt.RigSpeed);
    fillCm108(dialog.Cm108Combo(), listOf(m_devices.cm108), s.Ptt.Cm108Device);
    dialog.GpioSpin()->setValue(s.Ptt.Cm108Gpio);
    dialog.LeadSpin()->setValue(s.Ptt.LeadMs);
    dialog.TailSpin()->setValue(s.Ptt.TailMs);
    {
        const QSignalBlocker blocker(dialog.TimeoutCheck());
        dialog.TimeoutCheck()->setChecked(s.Ptt.TimeoutS > 0);
    }
    // Without a time-out the field offers three minutes, for when the box is ticked.
    dialog.TimeoutSpin()->setValue(s.Ptt.TimeoutS > 0 ? s.Ptt.TimeoutS : 180);
    MethodCombo_Click(dialog.MethodCombo()->currentIndex());
    TimeoutCheck_Click();
    showStatus(m_status, m_ready);
}

void PttSetHandler::MethodCombo_Click(int Index)
{
    m_dialog->SerialFrame()->setEnabled(Index == PttSet::SerialEntry);
    m_dialog->CatFrame()->setEnabled(Index == PttSet::CatEntry);
    m_dialog->Cm108Frame()->setEnabled(Index == PttSet::Cm108Entry);
}

void PttSetHandler::TimeoutCheck_Click()
{
    m_dialog->TimeoutSpin()->setEnabled(m_dialog->TimeoutCheck()->isChecked());
}

void PttSetHandler::OkButton_Click()
{
    PttSet &dialog = *m_dialog;
    const int index = std::clamp(dialog.MethodCombo()->currentIndex(), 0, int(PttSet::NoneEntry));
    const auto method = KeyingMethod(index);

    // A CAT rig needs a model that hamlib knows and its port, a CM108 chip its device; fields of
    // the other methods that were left unusable keep what they held.
    const QVariant model = chosen(dialog.RigModelCombo());
    int rigModel = model.typeId() == QMetaType::Int ? model.toInt() : typedModel(model.toString());
    const QString rigPort = dialog.RigPortEdit()->text().trimmed();
    const QString cm108Device = chosen(dialog.Cm108Combo()).toString();
    QString refusal;
    if (method == KeyingMethod::Cat && rigModel == 0)
        refusal = tr("Choose the rig's model from the list.");
    else if (method == KeyingMethod::Cat && m_knownModels.isEmpty() && m_devices.rigsProblem
             && !m_devices.rigsProblem().isEmpty())
        refusal = tr("The rig models cannot be listed: %1").arg(m_devices.rigsProblem());
    else if (method == KeyingMethod::Cat && !m_knownModels.contains(rigModel))
        refusal = tr("hamlib knows no rig model %1: choose the rig's model from the "
                     "list.")
                      .arg(rigModel);
    else if (method == KeyingMethod::Cat && rigPort.isEmpty())
        refusal = tr("Enter the rig's port: host:port of rigctld, or its serial device.");
    else if (method == KeyingMethod::Cm108 && cm108Device.isEmpty())
        refusal = tr("Choose the CM108 chip's device.");
    if (!refusal.isEmpty()) {
        showStatus(refusal, false);
        return;
    }

    PttValues p = edited().values().Ptt;
    p.PttMethod = method;
    p.SerialDevice = chosen(dialog.SerialCombo()).toString();
    if (m_knownModels.contains(rigModel))
        p.RigModel = rigModel;
    if (!rigPort.isEmpty())
        p.RigPort = rigPort;
    p.RigSpeed
        = std::clamp(dialog.RigSpeedCombo()->currentData().toInt(), 0, PttSettings::RigSpeedMax);
    p.Cm108Device = cm108Device;
    p.Cm108Gpio = std::clamp(dialog.GpioSpin()->value(), PttSettings::Cm108GpioMin,
                             PttSettings::Cm108GpioMax);
    p.LeadMs = std::clamp(dialog.LeadSpin()->value(), 0, PttSettings::LeadMsMax);
    p.TailMs = std::clamp(dialog.TailSpin()->value(), 0, PttSettings::TailMsMax);
    p.TimeoutS = dialog.TimeoutCheck()->isChecked()
                     ? std::clamp(dialog.TimeoutSpin()->value(), 1, PttSettings::TimeoutSMax)
                     : 0;
    if (m_second) {
        const SettingsBook &other = m_radio == 2 ? m_settings : *m_second;
        const QString shared = PttSettings::sharedWith(p, other.values().Ptt);
        if (!shared.isEmpty()) {
            showStatus(tr("Radio %1 cannot be keyed so: %2.").arg(m_radio).arg(shared), false);
            return;
        }
    }
    if (const Result done = edited().apply(p); !done) {
        showStatus(done.error, false);
        return;
    }
    dialog.hide();
    emit applied();
}

void PttSetHandler::setSecondRadio(SettingsBook *second)
{
    m_second = second;
    m_radio = 1;
    if (m_dialog && m_dialog->isVisible())
        Form_Load();
}

void PttSetHandler::RadioCombo_Click(int Index)
{
    m_radio = m_second && Index == 1 ? 2 : 1;
    Form_Load();
    emit opened(); // the status line shows the chosen radio's keyer
}

SettingsBook &PttSetHandler::edited()
{
    return m_radio == 2 && m_second ? *m_second : m_settings;
}

void PttSetHandler::CancelButton_Click()
{
    m_dialog->hide();
}

void PttSetHandler::setStatus(const QString &text, bool ready)
{
    m_status = text;
    m_ready = ready;
    if (m_dialog)
        showStatus(text, ready);
}

void PttSetHandler::showStatus(const QString &text, bool ready)
{
    QLabel *label = m_dialog->StatusLabel();
    label->setText(text);
    label->setStyleSheet(ready ? QString() : QStringLiteral("color: #b00000;"));
}
