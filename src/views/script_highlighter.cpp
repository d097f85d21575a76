#include "views/script_highlighter.h"

#include <QCoreApplication>
#include <QTextDocument>

namespace delvora {
namespace {

// The lists as the editor has always had them, odd entries included
// (getMillisecond, complile, repalce): scripts were written against them.
const QString kReservedWords = QStringLiteral(
    " break delete function return typeof case do if switch var  catch else in this void continue false instanceof "
    "throw while  debugger finally new true with default for null try  ActiveXObject Array Boolean Date Enumerator "
    "Error Function Global Math  Number Object RegExp String VBArray ");
const QString kBuiltIns = QStringLiteral(
    " abs acos anchor apply asin atan atan2 atEnd big blink bold call ceil  charAt charCodeAt complile concat cos "
    "dcodeURL decodeURLComponent  dimensions encodeURL encodeURLComponent escape eval exec exp  fixed floor fontsize "
    "fromCharCode getDate getDay getFullYear  getHours getItem getMillisecond getMinutes getMonth getSeconds  getTime "
    "getTimezoneOffset getUTCDate getUTCDay getUTCMilliseconds  getUTCMinutes getUTCMonth getUTCSeconds getVarDate "
    "getYear indexOf  isFinite isNaN italics item  join lastIndexOf lbound link localeCompare log match max min "
    "moveFirst  moveNext parse parseFloat parseInt pop pow push random repalce reverse round  search setDate "
    "setFulYear setHourse setMilliseconds setMinutes setMonth  setSeconds setTime setUTCDate setUTCFullYear "
    "setUTCMilliseconds setUTCMinutes  setUTCMonth setUTCSeconds setYear shift sin slice small sort splice split "
    "sqrt  strike sub substr substring sub  tan test toArray toDateString toExponential toFixed toSMTString  "
    "toLocaleDateString toLocaleLowerCase toLocaleString toLocaleTimeString  toLocaleUpperCase toLowerCase "
    "toPrecision toString toTimeString toUpperString  toUTCString ubound unescape unshift UTC valueOf ");

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsWordStart(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; }
bool IsWordChar(QChar c) { return IsWordStart(c) || IsAsciiDigit(c); }

// End of the decimal floating-point literal starting at i (digits, an
// optional fraction, an optional exponent that has digits).
int NumberEnd(const QString& s, int i) {
    const int n = static_cast<int>(s.size());
    while (i < n && IsAsciiDigit(s[i])) ++i;
    if (i < n && s[i] == u'.') {
        ++i;
        while (i < n && IsAsciiDigit(s[i])) ++i;
    }
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        int j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-')) ++j;
        if (j < n && IsAsciiDigit(s[j])) {
            while (j < n && IsAsciiDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

}  // namespace

ScriptHighlighter::ScriptHighlighter(QTextDocument* document, std::function<void(const QString&)> tooLong)
    : QSyntaxHighlighter(document), m_tooLong(std::move(tooLong)) {}

QList<ScriptHighlighter::Run> ScriptHighlighter::Tokenize(const QString& line) {
    QList<Run> runs;
    const int n = static_cast<int>(line.size());
    // Every branch advances i by at least one: the walk ends.
    for (int i = 0; i < n;) {
        const QChar c = line[i];
        if (c == u'/' && i + 1 < n && line[i + 1] == u'/') {
            runs.append({i, n - i, Token::Comment});
            break;
        }
        if (c == u'"') {
            const int close = static_cast<int>(line.indexOf(u'"', i + 1));
            const int end = close < 0 ? n : close + 1;  // an open string ends with its line
            runs.append({i, end - i, Token::String});
            i = end;
        } else if (IsAsciiDigit(c)) {
            const int end = NumberEnd(line, i);
            runs.append({i, end - i, Token::Number});
            i = end;
        } else if (c == u'x' && i > 0 && line[i - 1] == u'0') {
            runs.append({i, 1, Token::Number});
            ++i;
        } else if (IsWordStart(c)) {
            int end = i + 1;
            while (end < n && IsWordChar(line[end])) ++end;
            const QString key = u' ' + line.mid(i, end - i) + u' ';
            if (kReservedWords.contains(key)) runs.append({i, end - i, Token::Reserved});
            else if (kBuiltIns.contains(key)) runs.append({i, end - i, Token::BuiltIn});
            i = end;
        } else {
            ++i;
        }
    }
    return runs;
}

QTextCharFormat ScriptHighlighter::FormatOf(Token token) const {
    QTextCharFormat format;
    switch (token) {
    case Token::Reserved: format.setForeground(QColor(0, 0, 255)); break;
    case Token::BuiltIn: format.setFontWeight(QFont::Bold); break;
    case Token::Comment: format.setForeground(QColor(0, 128, 0)); break;
    case Token::Number:
    case Token::String: format.setForeground(QColor(255, 0, 255)); break;
    case Token::Plain: break;
    }
    return format;
}

void ScriptHighlighter::highlightBlock(const QString& text) {
    if (document()->characterCount() >= kMaxColouredChars) {
        if (!m_bToldTooLong) {
            m_bToldTooLong = true;
            if (m_tooLong) m_tooLong(QCoreApplication::translate("ScriptHighlighter", "过长的代码,只判别 < %1").arg(kMaxColouredChars));
        }
        return;
    }
    for (const Run& run : Tokenize(text)) setFormat(run.start, run.length, FormatOf(run.token));
}

}  // namespace delvora
