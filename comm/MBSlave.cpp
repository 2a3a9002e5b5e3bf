// Slave, diagnostic, byte and string modes.
#include "MB.h"

void TMB::SendSlaveAnswer() {}
void TMB::AcceptBinarySlaveRequest() {}
void TMB::AcceptAsciiSlaveRequest() {}
void TMB::AnswerOrDelay() {}
void TMB::DecodeBinarySlave(quint8) {}
void TMB::DecodeAsciiSlave(quint8) {}
void TMB::DecodeDiagnostic(quint8) {}
void TMB::DecodeByteChunk(const QByteArray &) {}
void TMB::DecodeStringChar(quint8) {}
