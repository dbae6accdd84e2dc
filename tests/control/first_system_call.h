#pragma once
// Runs code in a child process whose only permitted system calls are exiting and writing
// to a report pipe; any other call is trapped, its number reported and the child ended.
// Shows that a path meant for the audio thread makes no system call at all (a futex wake
// would pass every lock and allocation count).
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>

constexpr int kNoSystemCall = -1;
constexpr int kNoFilter = -2;  // the filter cannot be installed here
constexpr int kEndedOtherwise = -3;

inline int& SystemCallReport() {
  static int fd = -1;  // the child's end of the report pipe
  return fd;
}

// Returns the number of the first system call `body` makes, or one of the codes above.
template <class Body>
int FirstSystemCall(Body body) {
  int fds[2];
  if (pipe(fds) != 0) return kNoFilter;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    SystemCallReport() = fds[1];
    struct sigaction action = {};
    action.sa_sigaction = [](int, siginfo_t* info, void*) {
      const int number = info->si_syscall;
      syscall(SYS_write, SystemCallReport(), &number, sizeof number);
      syscall(SYS_exit_group, 3);
    };
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 5, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(fds[1]), 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog filter = {static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0)
      _exit(2);
    body();
    syscall(SYS_exit_group, 0);  // straight to the kernel: a sanitizer's exit makes calls of its own
  }
  close(fds[1]);
  int status = 0, number = kEndedOtherwise;
  waitpid(child, &status, 0);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == 0) number = kNoSystemCall;
  if (code == 2) number = kNoFilter;
  if (code == 3 && read(fds[0], &number, sizeof number) != sizeof number) number = kEndedOtherwise;
  close(fds[0]);
  return number;
}
