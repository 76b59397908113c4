# The 32-bit library must load and run on every x86 processor from the 486:
# outside the vector kernels, no object and no function of the linked DLL may
# hold an instruction the 486 lacks (conditional moves, fcomi, MMX, SSE,
# multi-byte no-ops, ...). Every instruction is checked against the 486's own
# set, so anything newer fails whatever its name. The vector kernels (units
# under codec/simd, functions named ..Field_sse.., ..Field_sse2.. and
# ..Field_avx2..) have their own instruction sets, and so have the reading of
# the register-state mask (XGETBV, run only where the processor has it) and
# the clearing of the upper registers after a fault in an AVX2 kernel
# (VZEROUPPER, run only once one has run); an inline function from a shared
# header, compiled into a vector unit, could otherwise be the copy the linker
# keeps for everyone, which the check of the linked DLL catches.
#   cmake -DOBJDUMP=<objdump> -DOBJECTS=<a|b|c...> -DDLL=<voxa.dll> -P CheckI486Code.cmake
cmake_minimum_required(VERSION 3.25)

# Intel syntax, as objdump spells it: the 386's integer set, the 486's
# additions (bswap, cmpxchg, xadd, invd, wbinvd, invlpg; cpuid came with the
# later 486s and is only run where the EFLAGS ID bit says the processor has
# it) and the 387's floating point set.
set(i486_set
  aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call cbw cdq clc cld cli
  clts cmc cmp cmps cwd cwde daa das dec div enter hlt idiv imul in inc ins int int3 into
  iret iretd ja jae jb jbe jcxz jecxz je jg jge jl jle jmp jne jno jnp jns jo jp js lahf lar
  lds lea leave les lfs lgdt lgs lidt lldt lmsw lods loop loope loopne lsl lss ltr mov movs
  movsx movzx mul neg nop not or out outs pop popa popad popf popfd push pusha pushad pushf
  pushfd rcl rcr ret retf rol ror sahf sar sbb scas seta setae setb setbe sete setg setge
  setl setle setne setno setnp setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw
  stc std sti stos str sub test verr verw fwait xchg xlat xor
  bswap cmpxchg xadd invd wbinvd invlpg cpuid
  f2xm1 fabs fadd faddp fbld fbstp fchs fnclex fcom fcomp fcompp fcos fdecstp fdiv fdivp
  fdivr fdivrp ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp fninit fist fistp
  fisub fisubr fld fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnop
  fpatan fprem fprem1 fptan frndint frstor fnsave fscale fsin fsincos fsqrt fst fnstcw
  fnstenv fstp fnstsw fsub fsubp fsubr fsubrp ftst fucom fucomp fucompp fxam fxch fxtract
  fyl2x fyl2xp1)
set(prefixes rep repz repnz repe repne lock data16 addr16 cs ds es fs gs ss)

include(${CMAKE_CURRENT_LIST_DIR}/Disassembly.cmake)

# Checks the code of FILE; SKIP is a regular expression of the functions not
# checked (the vector kernels). Sets `checked_functions` in the caller.
macro(check_instruction function line)
  if(NOT "${function}" STREQUAL previous_function)
    math(EXPR functions "${functions} + 1")
    set(previous_function "${function}")
  endif()
  # The lists of static constructors and destructors are data.
  if(NOT ((skip AND "${function}" MATCHES "${skip}") OR "${function}" MATCHES "^_*[CD]TOR_LIST__$"))
    string(REGEX MATCHALL "[^ ]+" words "${line}")
    list(POP_FRONT words mnemonic)
    while(mnemonic IN_LIST prefixes AND words)
      list(POP_FRONT words mnemonic)
    endwhile()
    # A no-op with an operand is the Pentium Pro's multi-byte form.
    if(NOT mnemonic IN_LIST i486_set OR (mnemonic STREQUAL "nop" AND words)
       OR "${line}" MATCHES "[xy]?mm[0-9]")
      message(FATAL_ERROR "${checked_file}: ${function} holds an instruction the 486 lacks: ${line}")
    endif()
  endif()
endmacro()

function(check_disassembly file skip)
  set(checked_file "${file}")
  set(previous_function "")
  set(functions 0)
  voxa_for_each_instruction(${OBJDUMP} ${file} check_instruction)
  set(checked_functions ${functions} PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
foreach(object ${objects})
  if(object MATCHES "/simd/")
    continue()
  endif()
  check_disassembly("${object}" "")
  math(EXPR checked "${checked} + 1")
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no objects checked")
endif()
message(STATUS "${checked} objects hold 486 code only")

set(kernels "Field_(sse2?|avx2)E")
execute_process(COMMAND ${OBJDUMP} -t ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCHALL "(Encode|Decode)(Rgba|Y16a)${kernels}" kernel_names "${symbols}")
list(REMOVE_DUPLICATES kernel_names)
list(LENGTH kernel_names kernel_count)
if(NOT kernel_count EQUAL 12)
  message(FATAL_ERROR "${DLL}: expected the 12 vector kernels, found ${kernel_count}: ${kernel_names}")
endif()
check_disassembly("${DLL}" "${kernels}|ReadRegisterStateMask|ClearUpperRegisters_avx2")
message(STATUS "${DLL}: ${checked_functions} functions, all but the 12 vector kernels, "
               "the register-state reading and its clearing 486 code")
