#pragma once
#include <QString>
#include <exception>

// The error object of the language runtime: raised by conversions and by every platform layer,
// caught by a procedure's error trap at its own boundary.
struct VbError : std::exception {
    int number = 0;
    QString description;
    QString source;

    VbError() = default;
    VbError(int n, QString d, QString s = QString())
        : number(n), description(std::move(d)), source(std::move(s)) {}
    const char *what() const noexcept override { return "VbError"; }
};

// The runtime's own errors by number, with their standard descriptions (error table in vberror.cpp).
VbError vbError(int number);
[[noreturn]] void raiseVbError(int number);
[[noreturn]] void raiseVbError(int number, const QString &description);

namespace vbErr {
constexpr int Overflow = 6;
constexpr int SubscriptOutOfRange = 9;
constexpr int TypeMismatch = 13;
constexpr int InvalidProcedureCall = 5;
constexpr int FileNotFound = 53;
constexpr int FileAlreadyExists = 58;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccessError = 75;
constexpr int PathNotFound = 76;
constexpr int BadFileName = 52;
constexpr int DeviceIOError = 57;
constexpr int DiskFull = 61;
constexpr int DivisionByZero = 11;
constexpr int InvalidUseOfNull = 94;
constexpr int ObjectVariableNotSet = 91;
constexpr int ItemNotFound = 3265; // data access: item not found in this collection
}
