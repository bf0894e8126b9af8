// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/HamlibRig.h"

#include <QFileInfo>

#include <hamlib/rig.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

int discardDebugOutput(enum rig_debug_level_e, rig_ptr_t, const char *, va_list)
{
    return 0;
}

bool setConf(RIG *rig, const char *name, const QByteArray &value)
{
    const token_t token = rig_token_lookup(rig, name);
    return token != RIG_CONF_END && rig_set_conf(rig, token, value.constData()) == RIG_OK;
}

// hamlib's error codes in the operator's words. (rigerror() is not used: it returns a static
// buffer shared by every thread, filled with hamlib's debug history.)
QString describe(int code)
{
    switch (std::abs(code)) {
    case RIG_ETIMEOUT:
        return QStringLiteral("no answer");
    case RIG_EIO:
        return QStringLiteral("communication failed");
    case RIG_EPROTO:
        return QStringLiteral("garbled answer");
    case RIG_ERJCTED:
        return QStringLiteral("the rig refused the command");
    case RIG_ENIMPL:
    case RIG_ENAVAIL:
        return QStringLiteral("not supported by this rig");
    case RIG_EINVAL:
    case RIG_ECONF:
        return QStringLiteral("invalid setting");
    default:
        return QStringLiteral("hamlib error %1").arg(code);
    }
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why a device cannot be used, or an empty text. A serial device is not opened to find out:
// opening a tty raises its RTS and DTR lines, which may key the transmitter.
QString deviceProblem(const QString &path, bool openIt, const char *permissionHint)
{
    const QByteArray name = QFile::encodeName(path);
    int error = 0;
    if (openIt) {
        const int fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            error = errno;
        else
            ::close(fd);
    } else if (::access(name.constData(), R_OK | W_OK) != 0) {
        error = errno;
    }
    if (error == 0)
        return {};
    QString text = systemError(error);
    if (error == EACCES)
        text += QLatin1String(permissionHint);
    return text;
}

// Where the rig is: " at host:port" for a rig over the network, " on /dev/ttyUSB0" otherwise.
QString at(const HamlibSettings &settings)
{
    const bool network = settings.rigModel == HamlibSettings::NetworkModel
                         || !settings.rigPort.startsWith(QLatin1Char('/'));
    return (network ? QStringLiteral(" at %1") : QStringLiteral(" on %1")).arg(settings.rigPort);
}

} // namespace

void HamlibRig::setUpLibrary()
{
    // hamlib's settings and its list of rigs belong to the whole process.
    static std::once_flag once;
    std::call_once(once, [] {
        // hamlib parses the rig's numbers in the C locale: while it opens a rig it switches
        // LC_NUMERIC to "C" and back by a saved name that the switch itself frees, unless the
        // name already is "C". The program formats no numbers through the C library, so the C
        // numbers stay for good.
        std::setlocale(LC_NUMERIC, "C");
        rig_set_debug(RIG_DEBUG_NONE);
        rig_set_debug_callback(discardDebugOutput, nullptr);
        rig_load_all_backends();
    });
}

QString HamlibRig::plainName(const HamlibSettings &settings)
{
    if (settings.method == HamlibSettings::Method::Cm108) {
        if (settings.cm108Device.isEmpty())
            return QStringLiteral("the CM108 chip");
        return QStringLiteral("GPIO %1 of %2").arg(settings.cm108Gpio).arg(settings.cm108Device);
    }
    const QString rig = settings.rigModel == HamlibSettings::NetworkModel
                            ? QStringLiteral("rigctld")
                            : QStringLiteral("rig model %1").arg(settings.rigModel);
    return settings.rigPort.isEmpty() ? rig : rig + at(settings);
}

bool HamlibRig::open(const HamlibSettings &settings, QString *failure)
{
    close();
    setUpLibrary();
    m_settings = settings;
    int result = openOnce(failure);
    // rigctld 4.5 sometimes closes a connection twice, and the second close hits the connection
    // that it accepted next; it lands on a new one most often when the previous one has just
    // gone. A connection lost so is made again once, a moment later.
    if (result != RIG_OK && m_network && transient(result)) {
        std::this_thread::sleep_for(ReconnectPause);
        result = openOnce(failure);
    }
    m_opened = result == RIG_OK;
    return m_opened;
}

bool HamlibRig::transient(int result)
{
    return std::abs(result) == RIG_EIO || std::abs(result) == RIG_EPROTO;
}

int HamlibRig::openOnce(QString *failure)
{
    const HamlibSettings &settings = m_settings;
    m_name = plainName(settings);
    m_network = false;
    const auto fail = [&](const QString &why, int result = -RIG_ECONF) {
        if (m_rig) {
            rig_cleanup(m_rig);
            m_rig = nullptr;
        }
        *failure = QStringLiteral("Cannot open %1: %2").arg(m_name, why);
        return result;
    };

    const bool cm108 = settings.method == HamlibSettings::Method::Cm108;
    if (cm108) {
        if (settings.cm108Device.isEmpty())
            return fail(QStringLiteral("no CM108 device chosen"));
        if (settings.cm108Gpio < HamlibSettings::Cm108GpioMin
            || settings.cm108Gpio > HamlibSettings::Cm108GpioMax)
            return fail(QStringLiteral("a CM108 chip has GPIO %1 to %2")
                            .arg(HamlibSettings::Cm108GpioMin)
                            .arg(HamlibSettings::Cm108GpioMax));
        const QString problem = deviceProblem(settings.cm108Device, true,
                                              " (a udev rule must let your user write the device)");
        if (!problem.isEmpty())
            return fail(problem);
    }

    m_rig = rig_init(cm108 ? HamlibSettings::DummyModel : settings.rigModel);
    if (!m_rig)
        return fail(QStringLiteral("hamlib knows no rig model %1").arg(settings.rigModel));

    // A dead rig must show within a second or two, not after hamlib's own 10 s and 5 retries.
    hamlib_port_t &port = m_rig->state.rigport;
    const bool serial = port.type.rig == RIG_PORT_SERIAL;
    m_network = port.type.rig == RIG_PORT_NETWORK;
    setConf(m_rig, "timeout", QByteArray::number(HamlibKeyer::AnswerTimeoutMs));
    setConf(m_rig, "retry", serial ? "1" : "0");

    if (cm108) {
        if (!setConf(m_rig, "ptt_type", "CM108")
            || !setConf(m_rig, "ptt_pathname", QFile::encodeName(settings.cm108Device))
            || !setConf(m_rig, "ptt_bitnum", QByteArray::number(settings.cm108Gpio - 1)))
            return fail(describe(RIG_ECONF));
    } else {
        const struct rig_caps *caps = m_rig->caps;
        if (settings.rigModel != HamlibSettings::NetworkModel) {
            m_name = QStringLiteral("%1 %2").arg(QString::fromUtf8(caps->mfg_name),
                                                 QString::fromUtf8(caps->model_name));
            if (port.type.rig != RIG_PORT_NONE && !settings.rigPort.isEmpty())
                m_name += at(settings);
        }
        if (port.type.rig != RIG_PORT_NONE) {
            if (settings.rigPort.isEmpty())
                return fail(QStringLiteral("no port given"));
            if (!setConf(m_rig, "rig_pathname", QFile::encodeName(settings.rigPort)))
                return fail(describe(RIG_ECONF));
        }
        if (serial) {
            const QString problem
                = deviceProblem(settings.rigPort, false, " (is your user in the group dialout?)");
            if (!problem.isEmpty())
                return fail(problem);
            if (settings.rigSpeed > 0
                && !setConf(m_rig, "serial_speed", QByteArray::number(settings.rigSpeed)))
                return fail(
                    QStringLiteral("the rig does not take the speed %1").arg(settings.rigSpeed));
            // Opening a tty raises RTS and DTR, and many interfaces key the transmitter on one
            // of them: hold both low while the rig is open (hamlib leaves RTS alone under
            // hardware handshake). A pseudo-terminal has no lines to lower.
            if (!QFileInfo(settings.rigPort)
                     .canonicalFilePath()
                     .startsWith(QLatin1String("/dev/pts/"))) {
                setConf(m_rig, "rts_state", "OFF");
                setConf(m_rig, "dtr_state", "OFF");
            }
        }
        if (caps->ptt_type != RIG_PTT_RIG && caps->ptt_type != RIG_PTT_RIG_MICDATA)
            setConf(m_rig, "ptt_type", "RIG");
    }

    const int result = rig_open(m_rig);
    if (result != RIG_OK) {
        // The device itself opened above: hamlib refuses it when its USB ids are not those of a
        // CM108-family chip.
        if (cm108)
            return fail(QStringLiteral("not a CM108-family sound chip"));
        if (m_network && std::abs(result) == RIG_EIO)
            return fail(QStringLiteral("cannot connect"), result);
        return fail(describe(result), result);
    }
    return RIG_OK;
}

bool HamlibRig::setPtt(bool onAir, QString *failure)
{
    const auto set = [&] {
        return m_rig ? rig_set_ptt(m_rig, RIG_VFO_CURR, onAir ? RIG_PTT_ON : RIG_PTT_OFF)
                     : -RIG_EIO;
    };
    QString ignored;
    const bool wasConnected = m_rig != nullptr;
    if (!wasConnected && m_opened && m_network)
        openOnce(&ignored); // rigctld lost before: it may be back
    int result = set();
    // A connection to rigctld that it closed by mistake (see open()) is made again, once.
    if (result != RIG_OK && wasConnected && m_network && transient(result)) {
        disconnect();
        std::this_thread::sleep_for(ReconnectPause);
        if (openOnce(&ignored) == RIG_OK)
            result = set();
    }
    if (result == RIG_OK)
        return true;
    if (m_network && transient(result))
        disconnect(); // tried again at the next request
    switch (std::abs(result)) {
    case RIG_ETIMEOUT:
        *failure = QStringLiteral("No answer from %1").arg(m_name);
        break;
    case RIG_EIO:
    case RIG_EPROTO:
        *failure = QStringLiteral("No answer from %1 (%2)").arg(m_name, describe(result));
        break;
    default:
        *failure = QStringLiteral("Cannot key %1: %2").arg(m_name, describe(result));
        break;
    }
    return false;
}

void HamlibRig::disconnect()
{
    if (!m_rig)
        return;
    rig_close(m_rig);
    rig_cleanup(m_rig);
    m_rig = nullptr;
}

void HamlibRig::close()
{
    disconnect();
    m_opened = false;
}
