// A full disk without privileges: while a FileSizeLimit lives, this process
// may not write a regular file beyond the given size (RLIMIT_FSIZE, as
// `ulimit -f` sets it). The write that would pass it fails with EFBIG, as
// one on a full disk fails with ENOSPC, instead of raising SIGXFSZ.
#ifndef FILESIZELIMIT_H
#define FILESIZELIMIT_H

#include <csignal>
#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_before);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_before;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_signal);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_before {};
    void (*m_signal)(int) = nullptr;
};

#endif // FILESIZELIMIT_H
