; carry.asm: adding with and without carry.
;
; ADD with a register adds to A and changes no flag: a carry out of the top
; bit is simply lost. ADD Mem adds the memory byte at HL and sets the flags:
; CY when the sum passes FFh, Z when the new A is zero.

MVI A, 0F0h     ; A = F0h
MVI B, 20h      ; B = 20h
ADD B           ; A = F0h + 20h = 110h, kept as 10h; no flag changes (mirvo: allow carry-lost)
MVI H, 30h      ; HL = 3000h
MVI L, 00h
MVI Mem, 0F0h   ; memory[3000h] = F0h
ADD Mem         ; A = 10h + F0h = 100h, kept as 00h: CY = 1, Z = 1
MOV C, A        ; C = 00h; MOV keeps the flags
ADD B           ; A = 00h + 20h = 20h; CY and Z keep what ADD Mem set
RET
