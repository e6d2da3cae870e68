#include "cli/Help.h"

#include <algorithm>

namespace cli::help {

namespace {

constexpr int lineWidth = 79;
constexpr int widestTerm = 24; // longer terms get their text on the next line

QString text(const char *s) {
    return QString::fromUtf8(s);
}

// Text filled into lines of at most lineWidth characters, each indented; paragraphs are
// separated by an empty line in the text and in the result. With firstLineUsed the first line
// continues one that already holds that many characters.
QString wrapped(const QString &paragraphs, int indent, int firstLineUsed = -1) {
    const QString pad(indent, QLatin1Char(' '));
    QString out;
    bool continuing = firstLineUsed >= 0;
    int used = continuing ? firstLineUsed : indent;
    for (const QString &paragraph : paragraphs.split(QStringLiteral("\n\n"))) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        QString line;
        for (const QString &word : paragraph.simplified().split(QLatin1Char(' '))) {
            if (!line.isEmpty() && used + line.size() + 1 + word.size() > lineWidth) {
                out += (continuing ? QString() : pad) + line + QLatin1Char('\n');
                continuing = false;
                used = indent;
                line.clear();
            }
            if (!line.isEmpty())
                line += QLatin1Char(' ');
            line += word;
        }
        out += (continuing ? QString() : pad) + line + QLatin1Char('\n');
        continuing = false;
        used = indent;
    }
    return out;
}

// Terms with their texts beside them, the texts lined up.
QString definitions(const QList<std::pair<QString, QString>> &items) {
    constexpr int indent = 2;
    int column = 0;
    for (const auto &[term, definition] : items)
        if (term.size() <= widestTerm)
            column = std::max(column, int(indent + term.size() + 2));
    QString out;
    for (const auto &[term, definition] : items) {
        const QString head = QString(indent, QLatin1Char(' ')) + term;
        if (head.size() + 2 <= column)
            out += head.leftJustified(column) + wrapped(definition, column, column);
        else
            out += head + QLatin1Char('\n') + wrapped(definition, column);
    }
    return out;
}

QString optionTerm(const Option &option) {
    return option.value ? text(option.name) + QLatin1Char(' ') + text(option.value)
                        : text(option.name);
}

QString quoted(const QString &s) {
    return QLatin1Char('\'') + QString(s).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

// Roff: a backslash printed as is, a dash that begins a word (an option) as a minus sign so
// that it can be copied, and no line beginning with a control character.
QString roff(const QString &s) {
    QString out;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\e");
        else if (c == QLatin1Char('-') &&
                 (i == 0 || s.at(i - 1).isSpace() || s.at(i - 1) == QLatin1Char('-') ||
                  s.at(i - 1) == QLatin1Char('(') || s.at(i - 1) == QLatin1Char('"') ||
                  s.at(i - 1) == QLatin1Char('[') || s.at(i - 1) == QLatin1Char('|')))
            out += QStringLiteral("\\-");
        else
            out += c;
    }
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

// A synopsis in roff: placeholders in italics, what is typed as it stands in bold.
QString roffSynopsis(const QString &synopsis) {
    QString out;
    QString word;
    const auto flush = [&] {
        if (word.isEmpty())
            return;
        const bool placeholder =
            std::any_of(word.begin(), word.end(), [](QChar c) { return c.isLetter(); }) &&
            std::none_of(word.begin(), word.end(), [](QChar c) { return c.isLower(); });
        out += (placeholder ? QStringLiteral("\\fI") : QStringLiteral("\\fB")) + roff(word) +
               QStringLiteral("\\fR");
        word.clear();
    };
    int depth = 0;
    for (const QChar c : synopsis) {
        if (QStringLiteral(" []()|").contains(c)) {
            flush();
            if (c == QLatin1Char('[') || c == QLatin1Char('('))
                ++depth;
            else if (c == QLatin1Char(']') || c == QLatin1Char(')'))
                --depth;
            // A bracketed part stays on one line.
            out += c == QLatin1Char(' ') && depth > 0 ? QStringLiteral("\\ ") : QString(c);
        } else {
            word += c;
        }
    }
    flush();
    return out;
}

// head followed by a synopsis, broken only between its bracketed parts, the lines after the
// first indented by indent.
QString synopsisLines(const QString &head, const QString &synopsis, int indent) {
    QStringList parts;
    int depth = 0;
    QString part;
    for (const QChar c : synopsis) {
        if (c == QLatin1Char(' ') && depth == 0) {
            parts.append(part);
            part.clear();
            continue;
        }
        if (c == QLatin1Char('[') || c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(']') || c == QLatin1Char(')'))
            --depth;
        part += c;
    }
    parts.append(part);
    QString out = head;
    int used = int(head.size());
    for (const QString &p : parts) {
        if (used > indent && used + 1 + p.size() > lineWidth) {
            out += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            used = indent;
        } else if (used > 0 && !out.endsWith(QLatin1Char(' '))) {
            out += QLatin1Char(' ');
            ++used;
        }
        out += p;
        used += int(p.size());
    }
    return out + QLatin1Char('\n');
}

QString helpOptionText() {
    return QStringLiteral("visar den här hjälpen");
}

QString quietOptionText() {
    return QStringLiteral("bara resultat på standard ut och fel och varningar på standard fel: "
                          "inga förloppsrader, antal eller meddelanden");
}

QString optionSyntaxText() {
    return QStringLiteral("En flaggas värde skrivs --flagga VÄRDE eller --flagga=VÄRDE och tas som "
                          "det står, även när det börjar med -. Efter -- är allt argument, inga "
                          "flaggor. En okänd flagga är felaktig användning.");
}

} // namespace

QString usage(const Program &program) {
    const QString name = text(program.name);
    const QString help = name + QStringLiteral(" KOMMANDO --help");
    QString out =
        QStringLiteral("Användning:\n  %1%2\n")
            .arg(name.leftJustified(help.size() + 2), QStringLiteral("öppnar sökfönstret"));
    for (const Command &c : program.commands)
        out += synopsisLines(QStringLiteral("  ") + name, text(c.synopsis), 6);
    out += QStringLiteral("  %1  visar hjälpen om ett kommando\n").arg(help);
    return out;
}

QString overview(const Program &program) {
    const QString name = text(program.name);
    QString out = QStringLiteral("Användning: %1 [KOMMANDO [ARGUMENT...]]\n\n").arg(name);
    out += wrapped(text(program.description), 0);
    out += QStringLiteral("\nKommandon:\n");
    for (const Command &c : program.commands)
        out +=
            synopsisLines(QStringLiteral("  "), text(c.synopsis), 6) + wrapped(text(c.summary), 6);
    out += QStringLiteral("\nFlaggor:\n") +
           definitions(
               {{QStringLiteral("-h, --help"), helpOptionText()},
                {QStringLiteral("--version"), QStringLiteral("visar programmets namn och version")},
                {QStringLiteral("-q, --quiet"),
                 QStringLiteral("före eller efter kommandot: ") + quietOptionText()}});
    out += QLatin1Char('\n') + wrapped(optionSyntaxText(), 2);
    for (const Topic &topic : program.topics)
        out += QStringLiteral("\n%1:\n").arg(text(topic.title)) + wrapped(text(topic.text), 2);
    out += QStringLiteral("\n\"%1 KOMMANDO --help\" visar ett kommandos argument och flaggor.\n")
               .arg(name);
    return out;
}

QString commandHelp(const Program &program, const Command &command) {
    const QString head = QStringLiteral("Användning: %1").arg(text(program.name));
    QString out =
        synopsisLines(head, text(command.synopsis), int(head.size()) + 1) + QLatin1Char('\n');
    out += wrapped(text(command.description), 0);
    if (!command.arguments.empty()) {
        QList<std::pair<QString, QString>> items;
        for (const Argument &a : command.arguments)
            items.append({text(a.name), text(a.text)});
        out += QStringLiteral("\nArgument:\n") + definitions(items);
    }
    QList<std::pair<QString, QString>> options;
    for (const Option &o : command.options)
        options.append({optionTerm(o), text(o.text)});
    options.append({QStringLiteral("-q, --quiet"), quietOptionText()});
    options.append({QStringLiteral("-h, --help"), helpOptionText()});
    out += QStringLiteral("\nFlaggor:\n") + definitions(options);
    for (const NameList &list : command.lists)
        out += QStringLiteral("\n%1:\n").arg(text(list.title)) +
               wrapped(list.names().join(QStringLiteral(", ")), 2);
    return out;
}

QString manualPage(const Program &program) {
    const QString name = text(program.name);
    QString out;
    out += QStringLiteral(".TH %1 1 \"\" \"%2 %3\" \"Användarkommandon\"\n")
               .arg(name.toUpper(), text(program.displayName), text(program.version));
    // Swedish words broken with English hyphenation rules read badly.
    out += QStringLiteral(".nh\n.ad l\n");
    out += QStringLiteral(".SH NAMN\n%1 \\- %2\n").arg(name, roff(text(program.summary)));
    out += QStringLiteral(".SH SYNOPSIS\n.B %1\n.br\n.B %1\n\\fIKOMMANDO\\fR "
                          "[\\fIARGUMENT\\fR...]\n.br\n.B %1\n(\\fB\\-h\\fR | "
                          "\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR)\n")
               .arg(name);
    const auto paragraphs = [](const QString &s) {
        return roff(s).replace(QStringLiteral("\n\n"), QStringLiteral("\n.PP\n")) +
               QLatin1Char('\n');
    };
    out += QStringLiteral(".SH BESKRIVNING\n") + paragraphs(text(program.description));
    out += QStringLiteral(".SH KOMMANDON\n");
    for (const Command &c : program.commands) {
        out += QStringLiteral(".SS %1\n\\fB%2\\fR %3\n.PP\n")
                   .arg(roff(text(c.name)), name, roffSynopsis(text(c.synopsis)));
        out += paragraphs(text(c.description));
        for (const Argument &a : c.arguments)
            out +=
                QStringLiteral(".TP\n%1\n%2\n").arg(roffSynopsis(text(a.name)), roff(text(a.text)));
        for (const Option &o : c.options)
            out += QStringLiteral(".TP\n%1\n%2\n")
                       .arg(roffSynopsis(optionTerm(o)), roff(text(o.text)));
        for (const NameList &list : c.lists)
            out += QStringLiteral(".PP\n%1:\n.RS\n%2\n.RE\n")
                       .arg(roff(text(list.title)), roff(list.names().join(QStringLiteral(", "))));
    }
    out += QStringLiteral(".SH FLAGGOR\n.TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\n"
                          "visar hjälpen, med ett kommando (före eller efter det) hjälpen om "
                          "kommandot\n"
                          ".TP\n\\fB\\-\\-version\\fR\nvisar programmets namn och version\n"
                          ".TP\n\\fB\\-q\\fR, \\fB\\-\\-quiet\\fR\nföre eller efter kommandot: ") +
           roff(quietOptionText()) + QStringLiteral("\n.PP\n") + roff(optionSyntaxText()) +
           QLatin1Char('\n');
    for (const Topic &topic : program.topics)
        out += QStringLiteral(".SH %1\n").arg(text(topic.title).toUpper()) +
               paragraphs(text(topic.text));
    return out;
}

QString completionData(const Program &program) {
    QStringList commands;
    QStringList options;
    QStringList values;
    QStringList arguments;
    for (const Command &c : program.commands) {
        const QString name = text(c.name);
        commands.append(name);
        QStringList names;
        for (const Option &o : c.options) {
            names.append(text(o.name));
            if (!o.value)
                continue;
            // A value that is one of a few words ("csv|json") completes to them.
            const QString placeholder = text(o.value);
            const QString kind =
                o.fileType ? QStringLiteral("file:") + text(o.fileType)
                : placeholder.contains(QLatin1Char('|'))
                    ? QStringLiteral("words:") +
                          QString(placeholder).replace(QLatin1Char('|'), QLatin1Char(' '))
                    : QStringLiteral("text");
            values.append(QStringLiteral("    [%1]=%2\n")
                              .arg(quoted(name + QLatin1Char(' ') + text(o.name)), quoted(kind)));
        }
        names << QStringLiteral("-q") << QStringLiteral("--quiet") << QStringLiteral("-h")
              << QStringLiteral("--help");
        options.append(QStringLiteral("    [%1]=%2\n").arg(quoted(name), quoted(names.join(' '))));

        // Each position: the words typed as they stand, a file, or free text.
        int last = 0;
        for (const Argument &a : c.arguments)
            last = std::max(last, a.position);
        for (int position = 1; position <= last; ++position) {
            QStringList words;
            QString kind = QStringLiteral("text");
            for (const Argument &a : c.arguments) {
                if (a.position != position)
                    continue;
                const QString argument = text(a.name);
                if (a.fileType)
                    kind = QStringLiteral("file:") + text(a.fileType);
                else if (argument.toLower() == argument)
                    words.append(argument);
            }
            if (position == 1 && c.firstArgumentWords)
                words += c.firstArgumentWords();
            if (!words.isEmpty())
                kind = QStringLiteral("words:") + words.join(QLatin1Char(' '));
            arguments.append(QStringLiteral("    [%1]=%2\n")
                                 .arg(quoted(name + QLatin1Char(' ') + QString::number(position)),
                                      quoted(kind)));
        }
    }
    return QStringLiteral("local commands=%1\n").arg(quoted(commands.join(QLatin1Char(' ')))) +
           QStringLiteral("local -A options=(\n") + options.join(QString()) +
           QStringLiteral(")\nlocal -A values=(\n") + values.join(QString()) +
           QStringLiteral(")\nlocal -A arguments=(\n") + arguments.join(QString()) +
           QStringLiteral(")\n");
}

bool asksForHelp(const Command &command, const QStringList &args) {
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help"))
            return true;
        const auto takesValue = [&](const Option &o) {
            return o.value && arg == QLatin1String(o.name);
        };
        if (std::any_of(command.options.begin(), command.options.end(), takesValue))
            ++i;
    }
    return false;
}

} // namespace cli::help
