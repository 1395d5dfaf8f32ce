; compare.asm: comparing with CMP.
;
; CMP compares A with its operand without changing either: Z = 1 when they
; are equal, CY = 1 when A is below the operand (as unsigned bytes). Each CMP
; replaces the flags of the one before; the state map shows the last.

MVI A, 50h      ; the value to compare
MVI B, 60h
MVI C, 50h
MVI D, 40h
CMP C           ; 50h = 50h: Z = 1, CY = 0
CMP D           ; 50h > 40h: Z = 0, CY = 0
MVI H, 10h      ; HL = 1000h, a byte of memory still 00h
MVI L, 00h
CMP Mem         ; 50h > 00h: Z = 0, CY = 0
CMP B           ; 50h < 60h: Z = 0, CY = 1 (the flags the state map shows)
RET
