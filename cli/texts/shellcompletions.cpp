#include "cli/texts/shellcompletions.h"

#include "cli/table/commandtable.h"

#include <QtCore/QStringList>

namespace {

QStringList globalOptionNames()
{
    QStringList names;
    for (const OptionRow &option : optionTable()) {
        if (option.global)
            names << optionNames(option);
    }
    return names;
}

QStringList commandOptionNames(const CommandRow &command)
{
    QStringList names;
    for (const OptionRow &option : optionTable()) {
        if (!option.global && command.owns(option))
            names << optionNames(option);
    }
    return names;
}

QStringList commandNames()
{
    QStringList names;
    for (const CommandRow &command : commandTable())
        names << QLatin1String(command.name);
    return names;
}

QStringList optionsTaking(ValueKind kind)
{
    QStringList names;
    for (const OptionRow &option : optionTable()) {
        if (*option.valueName && option.value == kind)
            names << optionNames(option);
    }
    return names;
}

QString escapedForShell(QString text)
{
    return text.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
}

QString bashScript()
{
    QString perCommand;
    QString arguments;
    for (const CommandRow &command : commandTable()) {
        perCommand += QStringLiteral("        %1) options=\"$options %2\" ;;\n")
                               .arg(QLatin1String(command.name), commandOptionNames(command).join(QLatin1Char(' ')));
        const QString kind = command.arguments == ValueKind::LocalFile     ? QStringLiteral("-f")
                             : command.arguments == ValueKind::LocalFolder ? QStringLiteral("-d")
                                                                           : QString();
        if (kind.isEmpty())
            continue;
        const QString first = command.localArguments < 0 ? QString()
                                                          : QStringLiteral("((given < %1)) && ").arg(command.localArguments);
        arguments += QStringLiteral("        %1) %2_spiffs_cli_local %3 \"$cur\" ;;\n").arg(QLatin1String(command.name), first, kind);
    }
    QString valueOptions;
    for (const OptionRow &option : optionTable()) {
        if (*option.valueName)
            valueOptions += optionNames(option).join(QLatin1Char('|')) + QLatin1Char('|');
    }
    valueOptions.chop(1);

    return QStringLiteral(R"sh(# bash completion for spiffs-cli, made from its table of commands.
# Device names are not completed: that would open the port, and opening it
# can restart the receiver.

# The ports `spiffs-cli ports` lists, the receiver's bridge first: the
# spiffs-cli being completed asks the system, which opens no port.
_spiffs_cli_ports()
{
    local program=${COMP_WORDS[0]}
    [[ $program == */* && -x $program ]] || program=spiffs-cli
    command "$program" -q ports 2>/dev/null
}

# COMPREPLY from compgen's candidates, read a line each: a name with a
# space stays whole, and a name is never taken for a pattern ("a[1].txt"
# would become a1.txt, "*.mp3" every .mp3 here).
_spiffs_cli_reply()
{
    COMPREPLY=()
    local candidate
    while IFS= read -r candidate; do
        COMPREPLY+=("$candidate")
    done < <(compgen "$@")
}

# Local files (-f) or folders (-d) starting with $2. As file names, readline
# quotes what it puts in and ends a folder with "/" and no space, so the
# path can go on.
_spiffs_cli_local()
{
    compopt -o filenames 2>/dev/null
    _spiffs_cli_reply "$1" -- "$2"
}

_spiffs_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="%1"
    local options="%2"
    local command='' given=0 i
    # The command of this part of the line, after the last lone "+", and how
    # many arguments it has been given.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            +) command='' given=0 ;;
            =) ((i++)) ;; # --option=value: bash splits it at "="
            %3) [[ ${COMP_WORDS[i+1]} == = ]] || ((i++)) ;;
            -*) ;;
            *) if [[ -z $command ]]; then command=${COMP_WORDS[i]}; else ((given++)); fi ;;
        esac
    done

    case $prev in
        %4)
            compopt -o nosort 2>/dev/null
            local IFS=$'\n'
            _spiffs_cli_reply -W "$(_spiffs_cli_ports)" -- "$cur"
            return ;;
        %5)
            _spiffs_cli_local -f "$cur"
            return ;;
        %6)
            _spiffs_cli_local -d "$cur"
            return ;;
        %7)
            return ;;
    esac

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            _spiffs_cli_reply -W "$options" -- "$cur"
        else
            _spiffs_cli_reply -W "$commands" -- "$cur"
        fi
        return
    fi
    if [[ $cur == -* ]]; then
        case $command in
%8        esac
        _spiffs_cli_reply -W "$options" -- "$cur"
        return
    fi
    case $command in
%9    esac
}

complete -F _spiffs_cli spiffs-cli
)sh")
            .arg(commandNames().join(QLatin1Char(' ')), globalOptionNames().join(QLatin1Char(' ')), valueOptions,
                 optionsTaking(ValueKind::Port).join(QLatin1Char('|')),
                 optionsTaking(ValueKind::LocalFile).join(QLatin1Char('|')),
                 optionsTaking(ValueKind::LocalFolder).join(QLatin1Char('|')),
                 optionsTaking(ValueKind::Number).join(QLatin1Char('|')), perCommand, arguments);
}

QString zshOptionArgument(const OptionRow &option)
{
    QString value;
    switch (option.value) {
    case ValueKind::Port:
        value = QStringLiteral(":port:_spiffs_cli_ports");
        break;
    case ValueKind::LocalFile:
        value = QStringLiteral(":file:_files");
        break;
    case ValueKind::LocalFolder:
        value = QStringLiteral(":folder:_files -/");
        break;
    case ValueKind::Number:
        value = QStringLiteral(":seconds:");
        break;
    case ValueKind::None:
    case ValueKind::Shell:
        break;
    }
    const QString help = escapedForShell(optionSummary(option))
                                 .replace(QLatin1Char('['), QLatin1Char('('))
                                 .replace(QLatin1Char(']'), QLatin1Char(')'));
    const QStringList names = optionNames(option);
    if (names.size() == 1)
        return QStringLiteral("'%1[%2]%3'").arg(names.constFirst(), help, value);
    return QStringLiteral("'(%1)'{%2}'[%3]%4'").arg(names.join(QLatin1Char(' ')), names.join(QLatin1Char(',')), help, value);
}

QString zshScript()
{
    QString commands;
    QString perCommand;
    QStringList globals;
    for (const OptionRow &option : optionTable()) {
        if (option.global)
            globals << zshOptionArgument(option);
    }
    for (const CommandRow &command : commandTable()) {
        commands += QStringLiteral("        '%1:%2'\n").arg(QLatin1String(command.name), escapedForShell(QLatin1String(command.summary)));
        QStringList arguments;
        for (const OptionRow &option : optionTable()) {
            if (!option.global && command.owns(option))
                arguments << zshOptionArgument(option);
        }
        QString local;
        if (command.arguments == ValueKind::LocalFile)
            local = QStringLiteral(":file:_files'");
        else if (command.arguments == ValueKind::LocalFolder)
            local = QStringLiteral(":folder:_files -/'");
        if (local.isEmpty() || command.localArguments >= 0) {
            for (int position = 1; position <= command.localArguments; ++position)
                arguments << QStringLiteral("'%1").arg(position) + local;
            arguments << QStringLiteral("'*:name: '");
        } else {
            arguments << QStringLiteral("'*") + local;
        }
        perCommand += QStringLiteral("        (%1) _arguments -s %2 ;;\n")
                              .arg(QLatin1String(command.name), arguments.join(QLatin1Char(' ')));
    }
    return QStringLiteral(R"sh(#compdef spiffs-cli
# zsh completion for spiffs-cli, made from its table of commands. Device
# names are not completed: that would open the port.

# The ports `spiffs-cli ports` lists, in its order (the receiver's bridge
# first): the system is asked, no port is opened.
_spiffs_cli_ports() {
    local program=${words[1]}
    [[ $program == */* && -x $program ]] || program=spiffs-cli
    local -a ports
    ports=(${(f)"$(command $program -q ports 2>/dev/null)"})
    _wanted -V ports expl 'serial port' compadd -a ports
}

_spiffs-cli() {
    local curcontext=$curcontext state line
    local -a commands
    commands=(
%1    )
    _arguments -C -s %2 '1:command:->command' '*::argument:->argument'
    case $state in
        command)
            _describe -t commands 'spiffs-cli command' commands ;;
        argument)
            # A lone "+" starts the next command.
            local plus=${words[(I)+]}
            if (( plus > 0 )); then
                shift $plus words
                (( CURRENT -= plus ))
                if (( CURRENT == 1 )); then
                    _describe -t commands 'spiffs-cli command' commands
                    return
                fi
            fi
            curcontext=${curcontext%:*:*}:spiffs-cli-${words[1]}:
            case ${words[1]} in
%3            esac ;;
    esac
}

_spiffs-cli "$@"
)sh")
            .arg(commands, globals.join(QLatin1Char(' ')), perCommand);
}

// The fish functions the completions call: the ports, and the words of the
// command being completed, options and their values left out.
QString fishFunctions()
{
    QStringList valued;
    for (const OptionRow &option : optionTable()) {
        if (*option.valueName)
            valued << optionNames(option);
    }
    return QStringLiteral(
                   "# fish completion for spiffs-cli, made from its table of commands. Device\n"
                   "# names are not completed: that would open the port.\n"
                   "\n"
                   "# The ports `spiffs-cli ports` lists, in its order (the receiver's bridge\n"
                   "# first): the system is asked, no port is opened.\n"
                   "function __spiffs_cli_ports\n"
                   "    set -l program (commandline -opc)[1]\n"
                   "    string match -q '*/*' -- $program; and test -x $program; or set program spiffs-cli\n"
                   "    command $program -q ports 2>/dev/null\n"
                   "end\n"
                   "\n"
                   "# The command since the start or the last \"+\" and its arguments so far,\n"
                   "# one a line; options and their values are left out.\n"
                   "function __spiffs_cli_words\n"
                   "    set -l words (commandline -opc)\n"
                   "    set -e words[1]\n"
                   "    set -l found\n"
                   "    set -l value 0\n"
                   "    for word in $words\n"
                   "        if test $value = 1\n"
                   "            set value 0\n"
                   "            continue\n"
                   "        end\n"
                   "        switch $word\n"
                   "            case +\n"
                   "                set found\n"
                   "            case %1\n"
                   "                set value 1\n"
                   "            case '-*'\n"
                   "            case '*'\n"
                   "                set -a found $word\n"
                   "        end\n"
                   "    end\n"
                   "    printf '%s\\n' $found\n"
                   "end\n"
                   "\n"
                   "# True when no command has been given since the start or the last \"+\".\n"
                   "function __spiffs_cli_needs_command\n"
                   "    test (count (__spiffs_cli_words)) -eq 0\n"
                   "end\n"
                   "\n"
                   "# True when the command has been given fewer arguments than $argv[1].\n"
                   "function __spiffs_cli_given_below\n"
                   "    test (math (count (__spiffs_cli_words)) - 1) -lt $argv[1]\n"
                   "end\n"
                   "\n"
                   "complete -c spiffs-cli -f\n")
            .arg(valued.join(QLatin1Char(' ')));
}

QString fishOption(const OptionRow &option, const QString &condition)
{
    QString line = QStringLiteral("complete -c spiffs-cli%1 -l %2").arg(condition, QLatin1String(option.longName));
    if (*option.shortName)
        line += QStringLiteral(" -s %1").arg(QLatin1String(option.shortName));
    if (option.is("human-readable"))
        line += QStringLiteral(" -s h");
    if (option.value == ValueKind::Port)
        line += QStringLiteral(" -x -k -a '(__spiffs_cli_ports)'");
    else if (option.value == ValueKind::LocalFile)
        line += QStringLiteral(" -r -F");
    else if (option.value == ValueKind::LocalFolder)
        line += QStringLiteral(" -x -a '(__fish_complete_directories)'");
    else if (*option.valueName)
        line += QStringLiteral(" -x");
    return line + QStringLiteral(" -d '%1'\n").arg(escapedForShell(optionSummary(option)));
}

QString fishScript()
{
    QString script = fishFunctions();
    for (const OptionRow &option : optionTable()) {
        if (option.global)
            script += fishOption(option, QString());
    }
    for (const CommandRow &command : commandTable()) {
        const QString name = QLatin1String(command.name);
        script += QStringLiteral("complete -c spiffs-cli -n __spiffs_cli_needs_command -a %1 -d '%2'\n")
                          .arg(name, escapedForShell(QLatin1String(command.summary)));
        const QString seen = QStringLiteral("'__fish_seen_subcommand_from %1'").arg(name);
        for (const OptionRow &option : optionTable()) {
            if (!option.global && command.owns(option))
                script += fishOption(option, QStringLiteral(" -n ") + seen);
        }
        const QString local = command.localArguments < 0
                                      ? seen
                                      : QStringLiteral("'__fish_seen_subcommand_from %1; and __spiffs_cli_given_below %2'")
                                                .arg(name)
                                                .arg(command.localArguments);
        if (command.arguments == ValueKind::LocalFile)
            script += QStringLiteral("complete -c spiffs-cli -n %1 -F\n").arg(local);
        else if (command.arguments == ValueKind::LocalFolder)
            script += QStringLiteral("complete -c spiffs-cli -n %1 -x -a '(__fish_complete_directories)'\n").arg(local);
    }
    return script;
}

} // namespace

QString completionScript(Shell shell)
{
    switch (shell) {
    case Shell::Bash:
        return bashScript();
    case Shell::Zsh:
        return zshScript();
    case Shell::Fish:
        return fishScript();
    }
    return QString();
}
