#include "ChaosRoom.h"

#include "ChildProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTest>

#include <csignal>

namespace taviro::test {

namespace {

// What every workstation runs besides its own program.
const QStringList& servicePrograms()
{
    static const QStringList names = {
        QStringLiteral("TaviroComm"),       QStringLiteral("TaviroMes6"),
        QStringLiteral("TaviroSpraakReceiver"), QStringLiteral("TaviroSmsService"),
        QStringLiteral("TaviroMailSender"), QStringLiteral("TaviroAlarmEmailOntvangst"),
    };
    return names;
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

Workstation::Workstation(const QString& root, const QString& program, const QStringList& arguments,
                         const QStringList& environment)
    : m_root(root), m_program(program), m_arguments(arguments), m_environment(environment)
{
}

Workstation::~Workstation()
{
    stop();
    killLeftovers();
}

void Workstation::killLeftovers()
{
    const QString folder = m_root + QStringLiteral("/bin/");
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        const int n = pid.toInt(&numeric);
        if (numeric && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget().startsWith(folder))
            ::kill(n, SIGKILL);
    }
}

bool Workstation::prepare(QString* error)
{
    if (!QDir().mkpath(m_root + QStringLiteral("/bin")) || !QDir().mkpath(m_root + QStringLiteral("/Database"))) {
        *error = QStringLiteral("cannot make ") + m_root;
        return false;
    }
    for (const QString& name : QStringList{m_program} + servicePrograms()) {
        const QString target = m_root + QStringLiteral("/bin/") + name;
        if (!QFile::copy(binDir() + QLatin1Char('/') + name, target)) {
            *error = QStringLiteral("cannot copy ") + name;
            return false;
        }
        QFile::setPermissions(target, QFileDevice::ExeOwner | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return true;
}

bool Workstation::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TAVIRO_NO_SOUND"), QStringLiteral("1"));
    env.insert(QStringLiteral("TAVIRO_NONINTERACTIVE"), QStringLiteral("1"));
    env.insert(QStringLiteral("TAVIRO_INSTANCE_LOCK"), m_root + QStringLiteral("/taviro.lock"));
    env.insert(QStringLiteral("TAVIRO_MAIL_QUEUE"), m_root + QStringLiteral("/mailqueue"));
    for (const QString& entry : m_environment) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    m_process.setProcessEnvironment(env);
    // A file, not a pipe: a station writes every log line there as well, and
    // nobody reads a pipe while the test sleeps.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_root + QStringLiteral("/stderr.txt"), QIODevice::Append);
    ++m_runs;
    m_process.start(m_root + QStringLiteral("/bin/") + m_program, m_arguments);
    return m_process.waitForStarted();
}

bool Workstation::waitUntilUp(int timeoutMs)
{
    const QString marker = m_program == QLatin1String("taviro") ? QStringLiteral("Taviro gestart")
                                                                 : QStringLiteral("Taviro-station gestart");
    // One marker per run: the file keeps every earlier run's output.
    return QTest::qWaitFor([&] { return output().count(marker) >= m_runs || !running(); }, timeoutMs)
           && running();
}

void Workstation::killHard()
{
    if (!running())
        return;
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(10000);
}

void Workstation::stop()
{
    if (!running())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(20000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString Workstation::output() const
{
    return readAll(m_root + QStringLiteral("/stderr.txt"));
}

QString Workstation::logs() const
{
    QString text;
    QDirIterator it(m_root + QStringLiteral("/Logger"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        text += readAll(it.next());
    return text;
}

void SmsLedger::collect(const QList<FakeModem*>& modems)
{
    m_seen.resize(modems.size(), 0);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (qsizetype m = 0; m < modems.size(); ++m) {
        const auto submitted = modems[m]->submitted();
        for (qsizetype i = m_seen[m]; i < submitted.size(); ++i) {
            const auto& s = submitted[i];
            // Text mode: AT+CMGS="+31612345678"; the room sends plain ASCII only.
            QString number = QString::fromLatin1(s.command);
            number = number.section(QLatin1Char('"'), 1, 1);
            m_sent.append({int(m), number, QString::fromLatin1(s.body), now});
        }
        m_seen[m] = submitted.size();
    }
}

int SmsLedger::count(const QString& number, const QString& marker) const
{
    int n = 0;
    for (const SentSms& s : m_sent)
        if (s.number == number && s.text.contains(marker))
            ++n;
    return n;
}

int SmsLedger::sameQuarterExtra(const QString& number, const QString& marker) const
{
    QHash<qint64, int> perQuarter;
    for (const SentSms& s : m_sent)
        if (s.number == number && s.text.contains(marker))
            ++perQuarter[s.seenAtSecs / (15 * 60)];
    int extra = 0;
    for (int n : std::as_const(perQuarter))
        extra += n - 1;
    return extra;
}

qint64 SmsLedger::firstAt(const QString& number, const QString& marker) const
{
    for (const SentSms& s : m_sent)
        if (s.number == number && s.text.contains(marker))
            return s.seenAtSecs;
    return 0;
}

} // namespace taviro::test
