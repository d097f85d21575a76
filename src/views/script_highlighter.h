#pragma once
// Colours a script while it is typed: reserved words blue, built-in
// functions bold, "//" comments green, numbers and strings magenta. Words
// are looked up as they are written (case matters) in the two word lists.
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <functional>

namespace delvora {

class ScriptHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    /// Longer texts are not coloured at all.
    static constexpr int kMaxColouredChars = 524288;

    /// tooLong is told once, the first time the text reaches the limit.
    explicit ScriptHighlighter(QTextDocument* document, std::function<void(const QString&)> tooLong = {});

    enum class Token { Plain, Reserved, BuiltIn, Comment, Number, String };
    /// Splits one line into coloured runs {start, length, token}; runs of
    /// plain text are left out. No I/O, no widgets: the rules alone.
    struct Run {
        int start;
        int length;
        Token token;
    };
    static QList<Run> Tokenize(const QString& line);
    QTextCharFormat FormatOf(Token token) const;

protected:
    void highlightBlock(const QString& text) override;

private:
    std::function<void(const QString&)> m_tooLong;
    bool m_bToldTooLong = false;
};

}  // namespace delvora
