#pragma once

#include "platform/core/Result.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace qt2xx {

// One command-line option as a program declares it: the parser learns it from here and the --help
// text is written from here, so the two cannot drift apart.
struct OptionSpec {
    OptionSpec(QString name_, QString valueName_, QString help_, QString needs_ = {}, bool attached_ = false)
        : name(std::move(name_)), valueName(std::move(valueName_)), help(std::move(help_)),
          needs(std::move(needs_)), attached(attached_) {}

    QString name;      // without the dashes: "count"
    QString valueName; // "N"; empty for a flag
    QString help;      // the description, one paragraph; wrapped when printed
    QString needs;     // what a missing or empty value lacks: "a whole number of 0 or more"
    // The value is written after "=" and may be left out, where a flag of the same name stands for
    // the option without it (--record, --record=PATH). QCommandLineParser knows no such option, so
    // --NAME=VALUE is taken out of the arguments before they are parsed.
    bool attached;
};

using OptionSpecs = std::vector<OptionSpec>;

// The two-column option lines of a --help text: the option at two spaces, its description from the
// nineteenth column, wrapped at 100 characters; an option too long for the first column stands on a
// line of its own. -h, --help closes the list.
QString OptionsHelp(const OptionSpecs& specs);

// One line of that layout for anything else a --help lists in two columns, such as commands.
QString HelpLine(const QString& shown, const QString& description);

// A program's command line read by QCommandLineParser from its declared options, with its refusals worded the
// way every program here words them: "unknown option --x",
// "--x needs ...".
class CommandLine {
public:
    explicit CommandLine(OptionSpecs specs);

    // The arguments with the program's name first.
    Done parse(QStringList arguments);

    bool helpAsked() const { return m_parser.isSet(QStringLiteral("help")); }
    bool declares(const QString& name) const;
    bool isSet(const QString& name) const;
    QString value(const QString& name) const;
    // The value of an attached option: --NAME=VALUE as written, the last one given; none without it.
    std::optional<QString> attached(const QString& name) const;
    // The trimmed value, or the refusal naming what it needs when it was given empty.
    Result<QString> required(const QString& name) const;
    QStringList positional() const { return m_parser.positionalArguments(); }

    const OptionSpecs& specs() const { return m_specs; }
    QString help() const { return OptionsHelp(m_specs); }

private:
    const OptionSpec* decl(const QString& name) const;

    OptionSpecs m_specs;
    QCommandLineParser m_parser;
    std::map<QString, QString> m_attached;
};

} // namespace qt2xx
