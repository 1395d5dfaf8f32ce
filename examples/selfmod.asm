; selfmod.asm: code that writes its own RET.
;
; Code and data share the 64 KiB memory, so a program can store bytes that
; it executes later. The last statement below is a MOV; before the machine
; gets there, the program stores C9h, the opcode of RET, over it. The
; comments "mirvo: allow ..." tell mirvo that both are meant: the write into
; the program's own bytes, and a last statement that is not RET.
;
; Address  Bytes   Statement
MVI H, 00h      ; 0000  26 00   HL = 0009h, the address of the last statement
MVI L, 09h      ; 0002  2E 09
MVI Mem, 0C9h   ; 0004  36 C9   memory[0009h] = C9h (mirvo: allow code-write)
MVI A, 07h      ; 0006  3E 07
ADD A           ; 0008  87      A = 07h + 07h = 0Eh
MOV B, B        ; 0009  40      runs as RET: the program ends here (mirvo: allow past-end)
