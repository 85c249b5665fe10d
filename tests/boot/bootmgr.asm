; A stand-in for a Windows boot manager as a boot loader's chain module starts it ("ntldr="):
; loaded at 2000:0000 and entered in real mode with DL holding the BIOS drive. It prints its
; marker on COM1 and ends the emulator through the isa-debug-exit port (qemu exits with 33).
bits 16
org 0

    cli
    mov ax, cs
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
    db "VEXLOR-BOOTMGR-MARKER", 13, 10, 0
