MVI H, 00h
MVI L, 07h
MVI Mem, 0C9h
ADD B           ; runs on into the RET written at 0007h; 0FFh + 1 wraps: mirvo: allow past-end, carry-lost
