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
#include <optional>
#include <set>
#include <sys/socket.h>
#include <termios.h>
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

// What a failed request's code says about the rig.
HamlibRig::Failure failureOf(int code)
{
    switch (std::abs(code)) {
    case RIG_EIO:
        return HamlibRig::Failure::NotConnected; // the connection went away
    default:
        return HamlibRig::Failure::NoAnswer; // no answer, a garbled one, or a refusal
    }
}

// A connection to rigctld that rigctld may have closed by mistake (see HamlibRig::open()).
bool transient(int code)
{
    return std::abs(code) == RIG_EIO || std::abs(code) == RIG_EPROTO;
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

// hamlib's list of models, as far as it is loaded: every family, or those named here.
struct ModelList
{
    std::mutex mutex;
    bool everyFamily = false;
    std::set<int> families;
};

ModelList &modelList()
{
    static ModelList list;
    return list;
}

// What keeps a rig from being set up: why, and hamlib's result (0: a fault of the settings).
struct SetUpFault
{
    QString why;
    int result = 0;
};

// Sets up a rig keyed by CAT: its port, its speed and its serial lines, PTT through the rig;
// names it in `name` by its make and model, beside the rig it is reached through.
std::optional<SetUpFault> setUpCat(RIG *rig, const HamlibSettings &settings, QString *name)
{
    const hamlib_port_t &port = rig->state.rigport;
    const bool serial = port.type.rig == RIG_PORT_SERIAL;
    const struct rig_caps *caps = rig->caps;
    if (settings.rigModel != HamlibSettings::NetworkModel) {
        *name = QStringLiteral("%1 %2").arg(QString::fromUtf8(caps->mfg_name),
                                            QString::fromUtf8(caps->model_name));
        if (port.type.rig != RIG_PORT_NONE && !settings.rigPort.isEmpty())
            *name += settings.where();
    }
    if (port.type.rig != RIG_PORT_NONE) {
        if (settings.rigPort.isEmpty())
            return SetUpFault{QStringLiteral("no port given")};
        if (!setConf(rig, "rig_pathname", QFile::encodeName(settings.rigPort)))
            return SetUpFault{describe(RIG_ECONF)};
    }
    if (serial) {
        const QString problem
            = deviceProblem(settings.rigPort, false, " (is your user in the group dialout?)");
        if (!problem.isEmpty())
            return SetUpFault{problem, -RIG_EIO};
        if (settings.rigSpeed > 0
            && !setConf(rig, "serial_speed", QByteArray::number(settings.rigSpeed)))
            return SetUpFault{
                QStringLiteral("the rig does not take the speed %1").arg(settings.rigSpeed)};
        // Opening a tty raises RTS and DTR, and many interfaces key the transmitter on one
        // of them: hold both low while the rig is open (hamlib leaves RTS alone under
        // hardware handshake). A pseudo-terminal has no lines to lower.
        if (!QFileInfo(settings.rigPort)
                 .canonicalFilePath()
                 .startsWith(QLatin1String("/dev/pts/"))) {
            setConf(rig, "rts_state", "OFF");
            setConf(rig, "dtr_state", "OFF");
        }
    }
    if (caps->ptt_type != RIG_PTT_RIG && caps->ptt_type != RIG_PTT_RIG_MICDATA)
        setConf(rig, "ptt_type", "RIG");
    return std::nullopt;
}

} // namespace

void HamlibRig::setUpLibrary()
{
    // hamlib's settings belong to the whole process.
    static std::once_flag once;
    std::call_once(once, [] {
        // hamlib parses the rig's numbers in the C locale: while it opens a rig it switches
        // LC_NUMERIC to "C" and back by a saved name that the switch itself frees, unless the
        // name already is "C". The program formats no numbers through the C library, so the C
        // numbers stay for good.
        std::setlocale(LC_NUMERIC, "C");
        rig_set_debug(RIG_DEBUG_NONE);
        rig_set_debug_callback(discardDebugOutput, nullptr);
    });
}

void HamlibRig::loadAllModels()
{
    setUpLibrary();
    ModelList &list = modelList();
    std::lock_guard lock(list.mutex);
    if (list.everyFamily)
        return;
    rig_load_all_backends(); // families loaded before are kept as they are
    list.everyFamily = true;
}

bool HamlibRig::knowsModel(int model)
{
    setUpLibrary();
    if (model <= 0)
        return false;
    ModelList &list = modelList();
    std::lock_guard lock(list.mutex);
    if (rig_get_caps(model))
        return true;
    // Asking for a model of a family that is loaded loads the family again, which ends the
    // process: each family is loaded once.
    if (list.everyFamily || !list.families.insert(RIG_BACKEND_NUM(model)).second)
        return false;
    rig_check_backend(model);
    return rig_get_caps(model) != nullptr;
}

HamlibRig::Result HamlibRig::open(const HamlibSettings &settings)
{
    close();
    setUpLibrary();
    m_settings = settings;
    const auto started = std::chrono::steady_clock::now();
    std::optional<OpenFault> fault = openOnce();
    // rigctld 4.5 sometimes closes a connection twice, and the second close hits the connection
    // that it accepted next; it lands on a new one most often when the previous one has just
    // gone. A connection lost so is made again once, a moment later.
    if (fault && fault->result != 0 && m_network && transient(fault->result)) {
        std::this_thread::sleep_for(ReconnectPause);
        fault = openOnce();
    }
    if (!fault)
        return {};
    if (fault->result == 0)
        return {Failure::Settings, fault->why};
    // A server that takes the connection and says nothing keeps hamlib waiting for its answer.
    const auto waited = std::chrono::steady_clock::now() - started;
    if (std::abs(fault->result) == RIG_ETIMEOUT
        || waited >= std::chrono::milliseconds(AnswerTimeoutMs))
        return {Failure::NoAnswer, fault->why};
    return {Failure::NotConnected, fault->why};
}

std::optional<HamlibRig::OpenFault> HamlibRig::openOnce()
{
    const HamlibSettings &settings = m_settings;
    m_name = settings.plainName();
    m_network = false;
    // A failure of the settings themselves, or (with a result) of this attempt.
    const auto fail = [&](const QString &why, int result = 0) {
        if (m_rig) {
            rig_cleanup(m_rig);
            m_rig = nullptr;
        }
        return std::optional(
            OpenFault{QStringLiteral("Cannot open %1: %2").arg(m_name, why), result});
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
            return fail(problem, -RIG_EIO);
    }

    const int model = cm108 ? HamlibSettings::DummyModel : settings.rigModel;
    if (!knowsModel(model))
        return fail(QStringLiteral("hamlib knows no rig model %1").arg(model));
    m_rig = rig_init(model);
    if (!m_rig)
        return fail(QStringLiteral("hamlib knows no rig model %1").arg(model));
    // What the rig says is read from the rig, never from what hamlib remembers of it.
    rig_set_cache_timeout_ms(m_rig, HAMLIB_CACHE_ALL, 0);

    // A dead rig must show within a second or two, not after hamlib's own 10 s and 5 retries.
    hamlib_port_t &port = m_rig->state.rigport;
    const bool serial = port.type.rig == RIG_PORT_SERIAL;
    m_network = port.type.rig == RIG_PORT_NETWORK;
    setConf(m_rig, "timeout", QByteArray::number(AnswerTimeoutMs));
    setConf(m_rig, "retry", serial ? "1" : "0");

    if (cm108) {
        if (!setConf(m_rig, "ptt_type", "CM108")
            || !setConf(m_rig, "ptt_pathname", QFile::encodeName(settings.cm108Device))
            || !setConf(m_rig, "ptt_bitnum", QByteArray::number(settings.cm108Gpio - 1)))
            return fail(describe(RIG_ECONF));
    } else if (const std::optional<SetUpFault> fault = setUpCat(m_rig, settings, &m_name)) {
        return fail(fault->why, fault->result);
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
    return std::nullopt;
}

template<typename Call>
HamlibRig::Result HamlibRig::request(Call call)
{
    if (!m_rig)
        return {Failure::NotConnected,
                QStringLiteral("No answer from %1 (not connected)").arg(m_name)};
    int result = call();
    // A connection to rigctld that it closed by mistake (see open()) is made again, once.
    if (result != RIG_OK && m_network && transient(result)) {
        drop();
        std::this_thread::sleep_for(ReconnectPause);
        if (!openOnce())
            result = call();
    }
    if (result == RIG_OK)
        return {};
    if (std::abs(result) == RIG_ENIMPL || std::abs(result) == RIG_ENAVAIL)
        return {Failure::Unsupported,
                QStringLiteral("Cannot key %1: %2").arg(m_name, describe(result))};
    drop();
    switch (std::abs(result)) {
    case RIG_ETIMEOUT:
        return {failureOf(result), QStringLiteral("No answer from %1").arg(m_name)};
    case RIG_EIO:
    case RIG_EPROTO:
        return {failureOf(result),
                QStringLiteral("No answer from %1 (%2)").arg(m_name, describe(result))};
    default:
        return {failureOf(result),
                QStringLiteral("Cannot key %1: %2").arg(m_name, describe(result))};
    }
}

HamlibRig::Result HamlibRig::setPtt(bool onAir)
{
    return request(
        [&] { return rig_set_ptt(m_rig, RIG_VFO_CURR, onAir ? RIG_PTT_ON : RIG_PTT_OFF); });
}

HamlibRig::Result HamlibRig::getPtt()
{
    bool onAir = false;
    Result read = request([&] {
        ptt_t ptt = RIG_PTT_OFF;
        const int result = rig_get_ptt(m_rig, RIG_VFO_CURR, &ptt);
        onAir = ptt != RIG_PTT_OFF;
        return result;
    });
    read.mayBeKeyed = read.failure == Failure::None && onAir;
    return read;
}

// A request that was not answered may still be carried out when the rig reads it: what was
// written and not yet sent to a serial rig is thrown away, and nothing more is written to the
// connection (see RigLink about what rigctld does with what it had received).
void HamlibRig::drop()
{
    if (!m_rig)
        return;
    const int fd = m_rig->state.rigport.fd;
    if (fd >= 0 && m_network) {
        const linger reset = {1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        // The connection goes now, and hamlib's own goodbye ("q", which it would write behind
        // the request that was not answered, and wait for) goes nowhere.
        const int nowhere = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (nowhere >= 0) {
            ::dup3(nowhere, fd, O_CLOEXEC);
            ::close(nowhere);
        }
    } else if (fd >= 0 && ::isatty(fd)) {
        ::tcflush(fd, TCOFLUSH);
    }
    rig_close(m_rig);
    rig_cleanup(m_rig);
    m_rig = nullptr;
}

void HamlibRig::close()
{
    if (!m_rig)
        return;
    rig_close(m_rig);
    rig_cleanup(m_rig);
    m_rig = nullptr;
}
