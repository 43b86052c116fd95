# Bash completion for quorvel-cli. Subcommands and options are read from the
# program's own --help, once per shell, so new ones complete without an edit
# here.

_quorvel_cli_words()
{
    [[ -n ${_quorvel_cli_subcommands-} ]] && return
    local help line section=""
    help=$("$1" --help 2>/dev/null) || return
    _quorvel_cli_subcommands=""
    _quorvel_cli_file_subcommands=""
    _quorvel_cli_options=""
    while IFS= read -r line; do
        case $line in
            [A-Z]*:) section=$line; continue ;;
        esac
        # A subcommand starts its line two spaces in, under "Subcommands:".
        if [[ $section == Subcommands: && $line =~ ^\ \ ([a-z][a-z0-9-]*) ]]; then
            local name=${BASH_REMATCH[1]}
            _quorvel_cli_subcommands+=" $name"
            [[ $line =~ ^\ \ $name\ FILE ]] && _quorvel_cli_file_subcommands+=" $name"
        fi
    done <<< "$help"
    _quorvel_cli_options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<< "$help" | sort -u | tr '\n' ' ')
}

_quorvel_cli()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --serial|--usb)
            # The ports the tool itself lists, stable by-id and udev names
            # included; every path there starts with /dev/.
            local ports
            ports=$("${words[0]}" ports --json 2>/dev/null | grep -oE '"/dev/[^"]*"' | tr -d '"')
            COMPREPLY=($(compgen -W "$ports" -- "$cur"))
            return ;;
        --parity)
            COMPREPLY=($(compgen -W "none even odd" -- "$cur"))
            return ;;
        --stop-bits)
            COMPREPLY=($(compgen -W "1 2" -- "$cur"))
            return ;;
        --data-bits)
            COMPREPLY=($(compgen -W "5 6 7 8" -- "$cur"))
            return ;;
        --baud)
            COMPREPLY=($(compgen -W "1200 2400 4800 9600 19200 38400 57600 115200" -- "$cur"))
            return ;;
        --tcp|--address)
            return ;;
        mode)
            COMPREPLY=($(compgen -W "main boot" -- "$cur"))
            return ;;
    esac

    _quorvel_cli_words "${words[0]}"
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$_quorvel_cli_options" -- "$cur"))
        return
    fi

    # After the subcommand only its file argument, if it takes one, is left.
    local i
    for ((i = 1; i < cword; i++)); do
        if [[ " $_quorvel_cli_subcommands " == *" ${words[i]} "* ]]; then
            [[ " $_quorvel_cli_file_subcommands " == *" ${words[i]} "* ]] && _filedir
            return
        fi
    done
    COMPREPLY=($(compgen -W "$_quorvel_cli_subcommands" -- "$cur"))
}
complete -F _quorvel_cli quorvel-cli
