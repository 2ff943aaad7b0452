// Whole reads and writes of files through the board's file calls, so that
// every byte the firmware puts on the card or the flash goes through its
// media (and a power cut treats it as the medium would).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// All `size` bytes to the descriptor, past short writes and interrupts;
// false (errno set) when one did not go.
bool board_write_all(int fd, const void *data, size_t size);
// Exactly `size` bytes at offset `at`; false when the file is shorter or a
// call fails.
bool board_read_at(int fd, int64_t at, void *data, size_t size);
bool board_write_at(int fd, int64_t at, const void *data, size_t size);
// The file's size, or -1 (the position moves to the end).
int64_t board_file_size(int fd);

// Writes the file's whole content in place (created or truncated, then
// written and closed; not synced). `opened` tells a file that could not be
// made from one that could not be written.
bool board_file_put(const std::string &path, const void *data, size_t size, bool *opened = nullptr);
