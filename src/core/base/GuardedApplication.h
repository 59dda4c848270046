#pragma once

#include <QCoreApplication>
#include <QString>

#include <exception>
#include <functional>
#include <new>

// An application object that lets no exception pass through Qt's event loop: whatever an event
// handler throws is turned into a German message for onFailure (the command line prints it and
// ends with exit code 2; the window shows it and goes on).
template <typename Base> class GuardedApplication final : public Base
{
public:
    using Report = std::function<void(const QString& message)>;

    GuardedApplication(int& argc, char** argv, Report onFailure) : Base(argc, argv), m_onFailure(std::move(onFailure))
    {}

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return Base::notify(receiver, event);
        } catch (...) {
            m_onFailure(describeCurrentException());
        }
        return false;
    }

    // The message for the exception being handled (call inside a catch block).
    static QString describeCurrentException()
    {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            return QStringLiteral("Unerwarteter Fehler: nicht genug Arbeitsspeicher. Der Vorgang wurde abgebrochen.");
        } catch (const std::exception& e) {
            return QStringLiteral("Unerwarteter Fehler: %1. Der Vorgang wurde abgebrochen.")
                .arg(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            return QStringLiteral("Unerwarteter Fehler. Der Vorgang wurde abgebrochen.");
        }
    }

private:
    Report m_onFailure;
};
