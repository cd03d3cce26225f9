// One packet with at most one file descriptor riding along (SCM_RIGHTS).
#pragma once

#include <cstddef>

// Sends `size` bytes and `fd` (none when negative). False on failure.
bool SendWithFd(int socket, const void* data, std::size_t size, int fd);
// Receives one packet of exactly `size` bytes and the descriptor sent with
// it (-1 when none). False on failure, at the end of the stream, or when
// the packet has another size or more than one descriptor: then every
// descriptor that came with it is closed.
bool ReceiveWithFd(int socket, void* data, std::size_t size, int& fd);
// Copies the next packet without taking it and without waiting: true when
// one of exactly `size` bytes waits (one with a descriptor is left alone).
bool PeekPacket(int socket, void* data, std::size_t size);
