#pragma once

// OX_FOR_EACH(M, a, b, c) expands to M(a) M(b) M(c); up to 32 arguments.
#define OX_PP_EXPAND(x) x
#define OX_PP_NARG(...) OX_PP_NARG_(__VA_ARGS__, OX_PP_RSEQ())
#define OX_PP_NARG_(...) OX_PP_EXPAND(OX_PP_ARG_N(__VA_ARGS__))
#define OX_PP_ARG_N(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, _17, _18, _19, _20, \
                    _21, _22, _23, _24, _25, _26, _27, _28, _29, _30, _31, _32, N, ...)                             \
    N
#define OX_PP_RSEQ() 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, \
                     7, 6, 5, 4, 3, 2, 1, 0
#define OX_PP_CAT(a, b) OX_PP_CAT_(a, b)
#define OX_PP_CAT_(a, b) a##b

#define OX_FE_1(M, x) M(x)
#define OX_FE_2(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_1(M, __VA_ARGS__))
#define OX_FE_3(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_2(M, __VA_ARGS__))
#define OX_FE_4(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_3(M, __VA_ARGS__))
#define OX_FE_5(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_4(M, __VA_ARGS__))
#define OX_FE_6(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_5(M, __VA_ARGS__))
#define OX_FE_7(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_6(M, __VA_ARGS__))
#define OX_FE_8(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_7(M, __VA_ARGS__))
#define OX_FE_9(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_8(M, __VA_ARGS__))
#define OX_FE_10(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_9(M, __VA_ARGS__))
#define OX_FE_11(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_10(M, __VA_ARGS__))
#define OX_FE_12(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_11(M, __VA_ARGS__))
#define OX_FE_13(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_12(M, __VA_ARGS__))
#define OX_FE_14(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_13(M, __VA_ARGS__))
#define OX_FE_15(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_14(M, __VA_ARGS__))
#define OX_FE_16(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_15(M, __VA_ARGS__))
#define OX_FE_17(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_16(M, __VA_ARGS__))
#define OX_FE_18(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_17(M, __VA_ARGS__))
#define OX_FE_19(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_18(M, __VA_ARGS__))
#define OX_FE_20(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_19(M, __VA_ARGS__))
#define OX_FE_21(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_20(M, __VA_ARGS__))
#define OX_FE_22(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_21(M, __VA_ARGS__))
#define OX_FE_23(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_22(M, __VA_ARGS__))
#define OX_FE_24(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_23(M, __VA_ARGS__))
#define OX_FE_25(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_24(M, __VA_ARGS__))
#define OX_FE_26(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_25(M, __VA_ARGS__))
#define OX_FE_27(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_26(M, __VA_ARGS__))
#define OX_FE_28(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_27(M, __VA_ARGS__))
#define OX_FE_29(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_28(M, __VA_ARGS__))
#define OX_FE_30(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_29(M, __VA_ARGS__))
#define OX_FE_31(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_30(M, __VA_ARGS__))
#define OX_FE_32(M, x, ...) M(x) OX_PP_EXPAND(OX_FE_31(M, __VA_ARGS__))
#define OX_FOR_EACH(M, ...) OX_PP_EXPAND(OX_PP_CAT(OX_FE_, OX_PP_NARG(__VA_ARGS__))(M, __VA_ARGS__))
