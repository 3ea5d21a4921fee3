#pragma once

#include "Types.h"

#include <string>

// The dispenser's wire protocol: two-byte requests, replies whose second
// byte is the reply code.
namespace Protocol {

constexpr char RequestStart = 0x01;

constexpr char Status = 0x37;
constexpr char Reset = 0x40;
constexpr char CardOut = 0x42;

constexpr CodeReponse Empty = 0x22;
constexpr CodeReponse Ready = 0x23;
constexpr CodeReponse Busy = 0x24;
constexpr CodeReponse Error = 0x25;
constexpr CodeReponse Nack = 0x4B;
constexpr CodeReponse Ack = 0x50;

// 9600 baud, even parity, 8 data bits, 1 stop bit.
constexpr const char* LineSettings = "9600,E,8,1";

std::string request(char command);

// The name of a request's command byte: "status", "reset", "card-out".
const char* requestName(char command);

// The name of a reply code ("Ready", ...); nullptr for any other value.
const char* replyName(CodeReponse code);

// The reply code carried by the second byte of `reply`; 0 when there is no
// second byte or it is no reply code.
CodeReponse decodeReply(const std::string& reply);

} // namespace Protocol
