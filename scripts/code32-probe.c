// Exits 0 when a 64-bit process on this kernel can run 32-bit code through the user 32-bit code
// segment (selector 0x23), which Wine's WoW64 mode switches to; else 1 with the reason.
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void) {
    // The 32-bit code: ud2, which raises SIGILL only if it runs; a segment that cannot be
    // entered raises SIGSEGV at the jump instead.
    unsigned char* code = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (code == MAP_FAILED) {
        fprintf(stderr, "no memory below 4 GiB for 32-bit code\n");
        return 1;
    }
    code[0] = 0x0F;
    code[1] = 0x0B;
    const pid_t child = fork();
    if (child == 0) {
        struct __attribute__((packed)) {
            uint32_t offset;
            uint16_t selector;
        } target = {(uint32_t)(uintptr_t)code, 0x23};
        __asm__ volatile("ljmpl *%0" : : "m"(target));
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGILL)
        return 0;
    fprintf(stderr, "this kernel gives programs no usable 32-bit code segment (a jump to it: %s)\n",
            WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "no fault");
    return 1;
}
