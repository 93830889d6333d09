#include "cli/CommandLine.h"

#include "files/UserPath.h"
#include "formats/ValueReader.h"

#include <QCoreApplication>
#include <QRegularExpression>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>

CommandLine::CommandLine(
    const QString &command, const QString &arguments, const QString &description)
    : commandName(command)
    , argumentSyntax(arguments)
{
    parser.setApplicationDescription(description);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption(QCommandLineOption({ QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("show this help and exit")));
    addOptions({
        { "version", nullptr, "show the version and exit" },
        { "verbose", nullptr,
            "show the video library's version, configuration and stream lines and FFmpeg's "
            "log on standard error" },
    });
}

void CommandLine::addOptions(std::initializer_list<OptionSpec> options)
{
    for (const OptionSpec &option : options)
        addOption(option);
}

void CommandLine::addOption(const OptionSpec &option)
{
    QCommandLineOption o(QString::fromLatin1(option.name), QString::fromUtf8(option.description));
    if (option.valueName)
        o.setValueName(QString::fromLatin1(option.valueName));
    parser.addOption(o);
}

QString CommandLine::helpText() const
{
    QString text
        = QStringLiteral("usage: pondwatch-cli %1 [options] %2\n").arg(commandName, argumentSyntax);
    const QString description = parser.applicationDescription();
    if (!description.isEmpty())
        text += description + QLatin1Char('\n');
    // QCommandLineParser's own help starts with the program's usage line, which names the
    // binary instead of the subcommand.
    const QString options = parser.helpText();
    const int start = options.indexOf(QLatin1String("Options:"));
    if (start >= 0)
        text += QLatin1Char('\n') + options.mid(start);
    text += QStringLiteral("\nExit codes: see the README's table (0 done, 2 bad option).\n");
    return text;
}

std::optional<int> CommandLine::parse(const QStringList &args)
{
    // QCommandLineParser takes the first argument as the program's name.
    const bool parsed = parser.parse(QStringList { QStringLiteral("pondwatch-cli") } + args);
    // Help and version win over any other problem, as they do for most tools.
    if (parser.isSet(QStringLiteral("help"))) {
        return printed(helpText());
    }
    if (parser.isSet(QStringLiteral("version")))
        return printed(
            QStringLiteral("pondwatch-cli %1\n").arg(QCoreApplication::applicationVersion()));
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString &name = unknown.first();
            return usageError(
                QStringLiteral("unknown option '%1%2'")
                    .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
        }
        // "Missing value after '--x'." and "Unexpected value after '--x'.", in our words.
        static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
        const QString error = parser.errorText();
        const QString option = quoted.match(error).captured(1);
        if (error.startsWith(QLatin1String("Missing value")))
            return usageError(QStringLiteral("%1 needs a value").arg(option));
        if (error.startsWith(QLatin1String("Unexpected value")))
            return usageError(QStringLiteral("%1 takes no value").arg(option));
        return usageError(error);
    }
    if (parser.isSet(QStringLiteral("verbose"))) {
        CliOutput::showLibraryOutputOnStandardError();
        av_log_set_level(AV_LOG_INFO);
    } else {
        // FFmpeg's stream dumps and warnings would bury the one-line messages of batch jobs;
        // its errors still come through.
        av_log_set_level(AV_LOG_ERROR);
    }
    return std::nullopt;
}

QStringList CommandLine::positional() const
{
    QStringList paths;
    for (const QString &argument : parser.positionalArguments())
        paths << UserPath::local(argument);
    return paths;
}

QString CommandLine::path(const char *name) const
{
    return CliOutput::outputPath(UserPath::local(value(name)));
}

int CommandLine::printed(const QString &text) const
{
    QString reason;
    if (CliOutput::print(text.toUtf8(), &reason))
        return ExitOk;
    return failure(ExitFailed, QStringLiteral("cannot write to standard output: %1").arg(reason));
}

int CommandLine::usageError(const QString &message) const
{
    std::fprintf(stderr, "pondwatch-cli %s: %s\n(pondwatch-cli %s --help lists the options)\n",
        qPrintable(commandName), qPrintable(message), qPrintable(commandName));
    return ExitBadOption;
}

int CommandLine::failure(int code, const QString &message) const
{
    std::fprintf(stderr, "pondwatch-cli %s: %s\n", qPrintable(commandName), qPrintable(message));
    return code;
}

std::optional<QString> CommandLine::wholeNumber(
    const char *name, int minimum, int maximum, int *value) const
{
    if (!isSet(name))
        return std::nullopt;
    const QString text = this->value(name);
    const auto v = ValueReader::wholeNumberIn(text, minimum, maximum);
    if (!v)
        return ValueReader::wholeNumberWanted(
            QStringLiteral("--") + QLatin1String(name), minimum, maximum, text);
    *value = *v;
    return std::nullopt;
}

std::optional<QString> CommandLine::real(
    const char *name, int decimals, double minimum, double maximum, double *value) const
{
    if (!isSet(name))
        return std::nullopt;
    const QString text = this->value(name);
    const auto v = ValueReader::real(text, decimals, minimum, maximum);
    if (!v)
        return ValueReader::numberWanted(
            QStringLiteral("--") + QLatin1String(name), minimum, maximum, text);
    *value = *v;
    return std::nullopt;
}
