#include "platform/core/CommandLine.h"

#include "platform/core/ExitStatus.h"

namespace qt2xx {
namespace {

constexpr int kIndent = 2;
constexpr int kColumn = 19; // where the descriptions start
constexpr int kWidth = 100;

QString wrapped(const QString& text) {
    QString out;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && kColumn + line.size() + 1 + word.size() > kWidth) {
            out += line + QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '));
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line + QLatin1Char('\n');
}

} // namespace

QString HelpLine(const QString& shown, const QString& description) {
    const QString left = QString(kIndent, QLatin1Char(' ')) + shown;
    if (left.size() < kColumn)
        return left.leftJustified(kColumn) + wrapped(description);
    return left + QLatin1Char('\n') + QString(kColumn, QLatin1Char(' ')) + wrapped(description);
}

namespace {

QString shown(const OptionSpec& decl) {
    QString text = QStringLiteral("--") + decl.name;
    if (decl.attached)
        return text + QLatin1Char('=') + decl.valueName;
    if (!decl.valueName.isEmpty())
        text += QLatin1Char(' ') + decl.valueName;
    return text;
}

QString needsOf(const OptionSpec& decl) {
    return decl.needs.isEmpty() ? QStringLiteral("a value") : decl.needs;
}

} // namespace

QString OptionsHelp(const OptionSpecs& specs) {
    QString help;
    for (const OptionSpec& decl : specs)
        help += HelpLine(shown(decl), decl.help);
    return help + HelpLine(QStringLiteral("-h, --help"), QStringLiteral("show this text"));
}

QString ExitStatusHelp(ExitStatusCases cases) {
    QString help = QStringLiteral("Exit status:\n");
    for (const auto& [status, what] : cases) {
        for (const ExitStatusMeaning& meaning : kExitStatuses) {
            if (meaning.status == status)
                help += HelpLine(QStringLiteral("%1 %2").arg(int(status)).arg(QLatin1String(meaning.meaning)),
                                 QLatin1String(what));
        }
    }
    return help;
}

CommandLine::CommandLine(OptionSpecs specs) : m_specs(std::move(specs)) {
    m_parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const OptionSpec& decl : m_specs) {
        if (!decl.attached)
            m_parser.addOption(QCommandLineOption(decl.name, decl.help, decl.valueName));
    }
}

Done CommandLine::parse(QStringList arguments) {
    for (const OptionSpec& decl : m_specs) {
        if (!decl.attached)
            continue;
        const QString prefix = QStringLiteral("--") + decl.name + QLatin1Char('=');
        for (qsizetype i = 1; i < arguments.size() && arguments[i] != QLatin1String("--");) {
            if (arguments[i].startsWith(prefix))
                m_attached[decl.name] = arguments.takeAt(i).mid(prefix.size());
            else
                ++i;
        }
    }
    if (m_parser.parse(arguments))
        return {};
    if (!m_parser.unknownOptionNames().isEmpty()) {
        const QString name = m_parser.unknownOptionNames().constFirst();
        return Fail(QStringLiteral("unknown option %1%2")
                        .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    // A value option last, with nothing after it.
    if (const OptionSpec* last = arguments.size() > 1 && arguments.last().startsWith(QLatin1String("--"))
                                     ? decl(arguments.last().mid(2))
                                     : nullptr;
        last && !last->valueName.isEmpty())
        return Fail(QStringLiteral("--%1 needs %2").arg(last->name, needsOf(*last)));
    QString text = m_parser.errorText();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return Fail(text.isEmpty() ? text : text.front().toLower() + text.mid(1));
}

const OptionSpec* CommandLine::decl(const QString& name) const {
    for (const OptionSpec& s : m_specs) {
        if (s.name == name && !s.attached)
            return &s;
    }
    return nullptr;
}

bool CommandLine::declares(const QString& name) const {
    for (const OptionSpec& s : m_specs) {
        if (s.name == name)
            return true;
    }
    return false;
}

bool CommandLine::isSet(const QString& name) const {
    return decl(name) && m_parser.isSet(name);
}

QString CommandLine::value(const QString& name) const {
    return decl(name) ? m_parser.value(name) : QString();
}

std::optional<QString> CommandLine::attached(const QString& name) const {
    const auto it = m_attached.find(name);
    return it == m_attached.end() ? std::nullopt : std::optional<QString>(it->second);
}

Result<QString> CommandLine::required(const QString& name) const {
    const QString text = value(name).trimmed();
    if (text.isEmpty()) {
        const OptionSpec* s = decl(name);
        return Fail(QStringLiteral("--%1 needs %2").arg(name, s ? needsOf(*s) : QString()));
    }
    return text;
}

} // namespace qt2xx
