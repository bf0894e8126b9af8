// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"
#include "ptt/KeyedRecord.h"
#include "ptt/RigConnection.h"

#include <QByteArray>
#include <deque>
#include <optional>

// The link to rigctld, hamlib's rig daemon, spoken to in its own line protocol over TCP ("T 1"
// keys, "T 0" releases, "t" reads), one connection held for as long as rigctld keeps it. No client
// library stands between: hamlib's own opening is seven round trips, and its client drops a
// connection whose answer is late, so that on a slow link a release could never be written again.
// Each request is written in the protocol's extended form ("+T 1"), whose answer names what it
// answers ("set_ptt: 1", "RPRT 0"): an answer is never taken for another request's, and one that
// never comes (a request lost on its way) is known lost once a later one is answered.
//
// Slow is not dead. A request whose answer is late leaves the connection as it is: rigctld
// carries out what one connection asks in the order asked, so a release written behind a keying
// that is not answered yet still comes after it, and the transmitter ends released however slow
// the link. Behind an answer that is late only a release is written (rigctld may have hung: it
// runs what it read once it goes on, and a keying written then could key it long after it was
// asked); so after a hang, at most the one keying written before it can run late, and the release
// written behind it follows at once. A release whose answer is late is written again every second.
// How long an answer may take before it counts as late follows the link: at least a second, and
// twice the slowest recent answer plus half a second.
//
// While the transmitter is keyed its state is read every second, so that a rigctld that went away
// or restarted is noticed without a request; none is read while it is released. A new connection
// reads the rig first: a keying found there is released only when this program left it (see
// KeyedRecord), else the rig counts as keyed elsewhere and nothing is written to it until it is
// released. A keying that the rig reads released, though nothing here asked for the release, is
// said as released elsewhere and not put back.
class RigctldLink : public RigConnection
{
public:
    // How often a keyed rig is read, and one keyed by another program.
    static constexpr std::chrono::milliseconds ReadEvery{1000};
    static constexpr std::chrono::milliseconds ReadElsewhereEvery{2000};
    // The shortest and longest an answer may take before it counts as late.
    static constexpr int LeastAnswerMs = 1000;
    static constexpr int MostAnswerMs = 10000;
    // The longest line rigctld answers with.
    static constexpr int MaxLine = 256;
    // rigctld's report "RPRT <code>": the code; any other line: none.
    static std::optional<int> reportCode(const QByteArray &line);

    // `owner`: the process whose keyings the link writes (0: this one; the guard names the
    // program's).
    explicit RigctldLink(const HamlibSettings &settings, pid_t owner = 0);
    ~RigctldLink() override;
    RigctldLink(const RigctldLink &) = delete;
    RigctldLink &operator=(const RigctldLink &) = delete;

    Result bring(bool onAir) override;
    bool holds(bool onAir, Clock::time_point now) const override;
    using RigConnection::holds;
    std::optional<Clock::time_point> checkDue() const override;
    void assumeUnsure() override { m_unsure = true; }
    void setInterrupt(int fd) override { m_interrupt = fd; }
    bool isOpen() const override { return m_fd >= 0 && m_vfo.has_value(); }
    QString name() const override { return m_settings.plainName(); }
    int answerTimeoutMs() const override;
    void close() override;

    bool keyedElsewhere() const override { return m_elsewhere; }
    QString takeProblem() override { return m_record.takeProblem(); }

private:
    enum class Ask { Vfo, Read, Set };
    struct Asked
    {
        Ask ask;
        bool value; // Set: what was asked; an answer: what it says
        Clock::time_point at;
    };
    enum class Wait { Answered, Late, Interrupted };

    Result connectAnew();
    bool connectSocket();
    bool write(Ask ask, bool value = false);
    // Reads what has come; false when the connection went or answered nonsense.
    bool readAnswers();
    bool takeLine(const QByteArray &line);
    bool take(const Asked &answer, int code);
    void takeRead(bool keyed);
    void takeSet(bool onAir, int code);
    void measure(Clock::time_point asked);
    void refused(Failure kind, int code);
    Wait waitForAnswer();
    bool outstanding(Ask ask) const;
    // The last set written and not answered yet, if any.
    std::optional<bool> lastSet() const;
    std::optional<Clock::time_point> oldestAsked() const;
    bool late(Clock::time_point now) const;
    Result writeWhatIsWanted(bool onAir);
    // The connection is given up (it went, or answered nonsense).
    Result lost();
    Result failure(Failure kind, const QString &text) const;

    HamlibSettings m_settings;
    KeyedRecord m_record;
    int m_fd = -1;
    int m_interrupt = -1;
    QByteArray m_input; // received and not yet taken
    std::deque<Asked> m_asked; // written and not yet answered, in order
    std::optional<Asked> m_answer; // the answer being read: its first line came
    std::optional<bool> m_answerValue; // a read's value, once its line came
    std::optional<bool> m_vfo; // rigctld wants a VFO named in every command
    std::optional<bool> m_known; // the rig's PTT, as last answered on this connection
    bool m_ours = false; // a keying of the rig's is this program's
    bool m_unsure = true; // the rig may do what was asked before: read it first
    bool m_elsewhere = false; // keyed by another program
    bool m_releasedElsewhere = false; // said by the next result
    bool m_garbled = false; // the connection answered nonsense
    int m_rechecks = 0; // reads still to come after a connection lost with requests on it
    QString m_refusal; // a request that the rig refused, said by the next result
    Failure m_refusalKind = Failure::NoAnswer;
    Clock::time_point m_lastAnswer{};
    Clock::time_point m_lastRelease{}; // the release last written
    Clock::time_point m_lastRead{}; // the read last written
    double m_slowestMs = 0; // the slowest recent answer
};
