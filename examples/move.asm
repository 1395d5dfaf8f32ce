; move.asm: moving data between registers and memory.
;
; MOV copies its second operand into its first. Mem is the memory byte at
; address H * 256 + L, so set H and L before using it.

MVI A, 42h      ; A = 42h
MOV B, A        ; B = 42h
MOV C, B        ; C = 42h
MVI H, 20h      ; HL = 2000h
MVI L, 00h
MOV Mem, C      ; memory[2000h] = 42h
MVI L, 01h      ; HL = 2001h
MVI Mem, 99h    ; memory[2001h] = 99h: MVI loads memory as well as registers
MOV D, Mem      ; D = memory[2001h] = 99h
MVI L, 00h      ; HL = 2000h again
MOV E, Mem      ; E = memory[2000h] = 42h
RET
