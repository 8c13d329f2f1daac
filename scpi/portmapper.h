// The VXI-11 core channel's entry in the system's portmapper (rpcbind), where clients look it
// up on port 111: made while the panel serves VXI-11, withdrawn on every way the program ends
// that runs code (return from main, exit, quick_exit after a port failure or a signal).
#pragma once

#include <QString>

// Registers the core channel at TCP `port`. False, with `problem` saying why and what to do,
// when no portmapper answers or another live program holds the entry; an entry left by a
// program that died is replaced.
bool registerCoreChannel(quint16 port, QString &problem);
// Withdraws the entry this program made, if any.
void withdrawCoreChannel();
