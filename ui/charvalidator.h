#ifndef VEXLOR_CHARVALIDATOR_H
#define VEXLOR_CHARVALIDATOR_H

#include <QValidator>

#include <functional>

// Refuses, as they are typed, the characters that accepts() says no to.
class CharValidator : public QValidator
{
public:
    CharValidator(std::function<bool(QChar)> accepts, QObject *parent)
        : QValidator(parent)
        , m_accepts(std::move(accepts))
    {
    }
    State validate(QString &input, int &) const override
    {
        for (const QChar c : qAsConst(input)) {
            if (!m_accepts(c))
                return Invalid;
        }
        return Acceptable;
    }

private:
    std::function<bool(QChar)> m_accepts;
};

#endif // VEXLOR_CHARVALIDATOR_H
