#pragma once
// One subcommand's command line, parsed by QCommandLineParser: --opt=value and --opt value,
// --help and --version (exit 0, on standard output) and --verbose for every subcommand, and
// one-line errors in the words pondwatch-cli has always used ("unknown option '--x'",
// "--x needs a value").

#include "cli/CliOutput.h"
#include "cli/ExitCode.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// One option of a subcommand's table: a value option when valueName is set, a switch when not.
struct OptionSpec
{
    const char *name;
    const char *valueName;
    const char *description;
};

class CommandLine
{
public:
    // command: "track", "analyze"...; arguments: the positional arguments as the usage line
    // shows them ("VIDEO").
    CommandLine(const QString &command, const QString &arguments, const QString &description);

    void addOptions(std::initializer_list<OptionSpec> options);
    template<std::size_t N> void addOptions(const OptionSpec (&options)[N])
    {
        for (const OptionSpec &option : options)
            addOption(option);
    }

    // Parses the arguments after the subcommand's name. Returns an exit code when the command
    // is done (help or version shown: ExitOk; an error reported: ExitBadOption), nothing when
    // it should run. --verbose takes effect here.
    std::optional<int> parse(const QStringList &args);

    bool isSet(const char *name) const { return parser.isSet(QLatin1String(name)); }
    QString value(const char *name) const { return parser.value(QLatin1String(name)); }
    QStringList values(const char *name) const { return parser.values(QLatin1String(name)); }
    // The positional arguments, every one a path for every command: a path that starts with
    // ':' is a file of that name, never one of Qt's resources (UserPath).
    QStringList positional() const;
    // An option's value that is a path, made safe as positional() makes them; /dev/stdout is
    // the command's standard output (CliOutput::outputPath).
    QString path(const char *name) const;
    // The options met, in the order given (repeated ones repeated), without dashes.
    QStringList optionOrder() const { return parser.optionNames(); }

    // A whole-number option within minimum..maximum into *value, left alone when the option is
    // not given; the refusal's words when it is given but not such a number.
    std::optional<QString> wholeNumber(
        const char *name, int minimum, int maximum, int *value) const;
    // A number option rounded to `decimals` places as its spin box rounds it, within
    // minimum..maximum, into *value; the refusal's words as for wholeNumber.
    std::optional<QString> real(
        const char *name, int decimals, double minimum, double maximum, double *value) const;

    // Reports a usage error ("pondwatch-cli track: MESSAGE" and where the help is) and returns
    // ExitBadOption.
    int usageError(const QString &message) const;
    // Reports a failure as "pondwatch-cli track: MESSAGE" and returns code.
    int failure(int code, const QString &message) const;
    // Prints text on standard output: ExitOk, or ExitFailed with the reason reported when it
    // could not be written.
    int printed(const QString &text) const;
    QString helpText() const;
    QString command() const { return commandName; }

private:
    void addOption(const OptionSpec &option);

    QString commandName;
    QString argumentSyntax;
    QCommandLineParser parser;
};
