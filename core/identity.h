#pragma once
// The workstation's identity at the records host: its name and its network address.
#include <QString>
#include <QStringList>

// Sets computername from the machine's name (low 8 bits of each unit, at most 256, up to the
// first zero).
void GetWorkstationInfo();
// The first address of the chosen adapter: an IP-enabled adapter whose description contains
// "Sonic" is preferred (the last such one), else the first IP-enabled adapter with an address.
// No address at all: a critical box and "".
QString RetrieveNICInfo();
QString JoinAddresses(const QStringList &list, const QString &separator);
