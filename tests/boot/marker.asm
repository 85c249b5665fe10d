; Boot marker: a 512-byte real-mode program loaded at 0000:7C00 (El Torito no-emulation or
; diskette boot image, first sector of a diskette, or a boot sector started by a boot loader).
; It prints its marker on COM1 and ends the emulator through the isa-debug-exit port (0xF4),
; which makes qemu exit with status 33. Bytes 8 to 63 are left free for a boot information
; table that mkisofs may patch in.
bits 16
org 0x7C00

start:
    jmp short entry
    times 64 - ($ - $$) db 0

entry:
    jmp 0x0000:main                 ; whatever CS:IP the loader used, run at 0000:7Cxx
main:
    cli
    xor ax, ax
    mov ds, ax
    mov si, message
.next:
    lodsb
    test al, al
    jz .done
    mov dx, 0x3F8
    out dx, al
    jmp .next
.done:
    mov al, 0x10
    out 0xF4, al
.halt:
    hlt
    jmp .halt

message:
    db "VEXLOR-BIOS-MARKER", 13, 10, 0

    times 510 - ($ - $$) db 0
    dw 0xAA55
