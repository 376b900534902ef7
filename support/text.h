// Composing texts: chained appends, the time pattern (%i is the minutes), IPv4 and splitting.
// All texts are 8-bit strings in the process's code page; nothing here converts code pages.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Each append adds the operand's text to the string and returns the same string, so they chain:
//   std::string s; s << "port " << port;
std::string& operator<<(std::string& s, const char* text);
std::string& operator<<(std::string& s, const std::string& text);
std::string& operator<<(std::string& s, bool value);
std::string& operator<<(std::string& s, char value);
std::string& operator<<(std::string& s, signed char value);
std::string& operator<<(std::string& s, unsigned char value);
std::string& operator<<(std::string& s, short value);
std::string& operator<<(std::string& s, unsigned short value);
std::string& operator<<(std::string& s, int value);
std::string& operator<<(std::string& s, unsigned int value);
std::string& operator<<(std::string& s, long value);
std::string& operator<<(std::string& s, unsigned long value);
std::string& operator<<(std::string& s, long long value);
std::string& operator<<(std::string& s, unsigned long long value);
std::string& operator<<(std::string& s, float value);
std::string& operator<<(std::string& s, double value);

// The string's content is a time pattern and is replaced by its expansion; an empty string
// takes the default pattern "%Y-%m-%d %H:%i:%s".
std::string& operator<<(std::string& s, const std::tm& time);

// The pattern expanded with the current local time.
std::string local_time_text(const std::string& pattern);

// Local time of a moment, as the C library converts it (thread-safe).
std::tm local_time(std::time_t moment);

// "%d.%d.%d.%d" of the four bytes of a network-order address, in memory order.
std::string ip_to_text(std::uint32_t address);

// Pieces between delimiter characters; empty pieces are dropped.
std::vector<std::string> split(const std::string& text, const char* delimiters);
